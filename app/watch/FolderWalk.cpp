// SPDX-License-Identifier: MIT
#include "watch/FolderWalk.h"

#include "common/NumericText.h"
#include "watch/FileNamePattern.h"
#include "watch/FolderReader.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

constexpr int kMaxThreads = 64;

// One folder of the tree: where its own files lie in the part of the thread
// that read it, and its subfolders (tasks firstChild.. in listing order).
struct FolderTask {
    uint32_t firstChild = 0;
    uint32_t childCount = 0;
    uint32_t part = 0;
    uint32_t begin = 0;
    uint32_t end = 0;
};

struct PendingFolder {
    uint32_t task = 0;
    std::string path;
};

// Hands out folders last in first out, so that one thread reads the tree in
// exactly depth-first order and several threads stay close to it; records
// what each folder produced so that the parts can be joined in that order.
// Locked once per folder, never per file.
class WalkQueue final {
public:
    explicit WalkQueue(std::string root)
    {
        m_tasks.emplace_back();
        m_pending.push_back(PendingFolder{0, std::move(root)});
    }

    const std::atomic<bool>* stopFlag() const { return &m_failed; }
    const std::deque<FolderTask>& tasks() const { return m_tasks; }
    const std::string& error() const { return m_error; }
    bool failed() const { return m_failed.load(); }

    // Waits for the next folder; false when the walk is complete or failed.
    bool take(PendingFolder* next)
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_failed || !m_pending.empty() || m_busy == 0; });
        if (m_failed || m_pending.empty())
            return false;
        *next = std::move(m_pending.back());
        m_pending.pop_back();
        ++m_busy;
        return true;
    }

    // Records a folder's files and queues its subfolders, first one on top.
    void finish(uint32_t task, uint32_t part, size_t begin, size_t end, std::vector<std::string>* childPaths)
    {
        std::lock_guard lock(m_mutex);
        auto first = static_cast<uint32_t>(m_tasks.size());
        m_tasks.resize(m_tasks.size() + childPaths->size());
        m_tasks[task] = FolderTask{first, static_cast<uint32_t>(childPaths->size()), part, static_cast<uint32_t>(begin),
                                   static_cast<uint32_t>(end)};
        for (size_t i = childPaths->size(); i-- > 0;)
            m_pending.push_back(PendingFolder{first + static_cast<uint32_t>(i), std::move((*childPaths)[i])});
        --m_busy;
        m_wake.notify_all();
    }

    // Keeps the first reason and makes every thread stop soon.
    void fail(const std::string& reason)
    {
        std::lock_guard lock(m_mutex);
        if (!m_failed)
            m_error = reason;
        m_failed = true;
        m_wake.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_failed{false};
    std::deque<FolderTask> m_tasks;
    std::vector<PendingFolder> m_pending;
    size_t m_busy = 0;
    std::string m_error;
};

// One thread's share of the walk: reads folders from the queue until none
// are left, adding their files to `part` (number `partIndex`).
void ReadFolders(WalkQueue& queue, const FileNamePattern& pattern, const WalkOptions& options, bool descend,
                 WalkResult& part, uint32_t partIndex)
{
    try {
        FolderReader reader(pattern, options.readTimes, descend, queue.stopFlag(), options.filter);
        PendingFolder job;
        std::vector<std::string> childPaths;
        while (queue.take(&job)) {
            size_t begin = part.size();
            if (!reader.read(job.path, job.task != 0, &part))
                return; // another thread failed and stopped the walk
            childPaths.resize(reader.subfolderCount());
            for (size_t i = 0; i < childPaths.size(); ++i) {
                std::string_view name = reader.subfolder(i);
                childPaths[i].reserve(job.path.size() + 1 + name.size());
                childPaths[i].assign(job.path).append("/").append(name);
            }
            queue.finish(job.task, partIndex, begin, part.size(), &childPaths);
        }
    } catch (const std::exception& e) {
        queue.fail(std::string("フォルダを一覧できませんでした: ") + e.what());
    }
}

// Joins the parts in depth-first order: a folder's own files, then each
// subfolder's whole subtree in listing order.
WalkResult JoinParts(std::vector<WalkResult>& parts, const std::deque<FolderTask>& tasks)
{
    WalkResult joined;
    std::vector<uint32_t> bases;
    bases.reserve(parts.size());
    for (WalkResult& part : parts)
        bases.push_back(joined.adopt(std::move(part)));
    std::vector<uint32_t> stack{0};
    while (!stack.empty()) {
        const FolderTask& task = tasks[stack.back()];
        stack.pop_back();
        joined.appendFrom(bases[task.part], task.begin, task.end);
        for (uint32_t i = task.childCount; i-- > 0;)
            stack.push_back(task.firstChild + i);
    }
    return joined;
}

std::optional<WalkResult> Walk(std::string root, const FileNamePattern& pattern, bool descend,
                               const WalkOptions& options, std::string* error)
{
    const int threads = std::clamp(options.threads, 1, kMaxThreads);
    WalkQueue queue(std::move(root));
    std::vector<WalkResult> parts(static_cast<size_t>(threads));
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back(ReadFolders, std::ref(queue), std::cref(pattern), std::cref(options), descend,
                                 std::ref(parts[i]), static_cast<uint32_t>(i));
        } catch (const std::system_error&) {
            break; // no more threads to be had; the others share the work
        }
    }
    ReadFolders(queue, pattern, options, descend, parts[0], 0);
    for (std::thread& helper : helpers)
        helper.join();
    if (queue.failed()) {
        if (error)
            *error = queue.error();
        return std::nullopt;
    }
    // Alone, one thread has read the folders in walk order already.
    WalkResult result = helpers.empty() ? std::move(parts[0]) : JoinParts(parts, queue.tasks());
    result.sortSkipped();
    return result;
}

} // namespace

bool WalksSubfolders(std::string_view subfolders)
{
    return ParseNumber(subfolders) == 1.0;
}

std::string FolderWalkRoot(std::string_view folder)
{
    while (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);
    return folder.empty() ? std::string("/") : std::string(folder);
}

std::optional<WalkResult> GetFilesMostDeep(const std::string& folder, const std::string& pattern,
                                           std::string_view subfolders, const WalkOptions& options, std::string* error)
{
    auto fail = [error](std::string reason) -> std::optional<WalkResult> {
        if (error)
            *error = std::move(reason);
        return std::nullopt;
    };
    std::string reason;
    std::optional<FileNamePattern> compiled = FileNamePattern::Compile(pattern, &reason);
    if (!compiled)
        return fail(reason);
    if (folder.empty())
        return fail("監視するフォルダが指定されていません");
    // Paths are built as root + "/" + name, so the root "/" becomes "".
    std::string root = folder;
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return Walk(std::move(root), *compiled, WalksSubfolders(subfolders), options, error);
}

} // namespace tessaly
