// SPDX-License-Identifier: MIT
#include "common/SecretStore.h"

#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace tessaly {
namespace {

/// How long one request to the keyring may take, all of its calls together.
constexpr std::chrono::seconds kSecretTimeout{5};

const SecretSchema* Schema()
{
    static const SecretSchema schema = {"org.example.tessaly.Secret",
                                        SECRET_SCHEMA_NONE,
                                        {{"folder", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

template <typename T>
struct GFree {
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T>
using GOwned = std::unique_ptr<T, GFree<T>>;
using ErrorOwned = std::unique_ptr<GError, decltype(&g_error_free)>;
using TableOwned = std::unique_ptr<GHashTable, decltype(&g_hash_table_unref)>;

/// True when a session bus can be reached without starting one: its
/// address is set, or the user's bus socket is there. GIO would otherwise
/// launch a bus of its own for the program.
bool HasSessionBus()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

SecretResult NoSessionBus(std::string* why)
{
    *why = "セッションバスがありません";
    return SecretResult::Unavailable;
}

/// A request to the keyring: the service opened, its calls cancelled once
/// kSecretTimeout has passed, so that a service that does not answer (or a
/// prompt nobody sees) never holds the caller.
class Request {
public:
    Request() : m_cancellable(g_cancellable_new())
    {
        m_watchdog = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, kSecretTimeout, [this] { return m_finished; }))
                g_cancellable_cancel(m_cancellable.get());
        });
    }
    ~Request()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_watchdog.join();
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    /// The Secret Service, or nullptr with `why` set.
    SecretService* open(std::string* why)
    {
        // A bus that goes away must not end the program (GIO's default
        // for the shared session bus).
        GError* error = nullptr;
        if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, m_cancellable.get(), &error)) {
            g_dbus_connection_set_exit_on_close(bus, FALSE);
            g_object_unref(bus);
        }
        if (!error)
            m_service.reset(secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION,
                                                     m_cancellable.get(), &error));
        if (!m_service)
            failed(error, "キーリング (Secret Service) に接続できません", why);
        return m_service.get();
    }

    /// The items of `kind` of `folder` (locked ones too), or false with
    /// `why` set.
    bool search(const std::string& folder, std::string_view kind, bool secrets, GList** items, std::string* why)
    {
        const TableOwned attributes = Attributes(folder, kind, nullptr);
        GError* error = nullptr;
        *items = secret_service_search_sync(
            m_service.get(), Schema(), attributes.get(),
            static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | (secrets ? SECRET_SEARCH_LOAD_SECRETS : 0)),
            m_cancellable.get(), &error);
        return !error || failed(error, "キーリングを検索できません", why);
    }

    GCancellable* cancellable() const { return m_cancellable.get(); }

    static TableOwned Attributes(const std::string& folder, std::string_view kind, const std::string* account)
    {
        TableOwned table(g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free), &g_hash_table_unref);
        g_hash_table_insert(table.get(), const_cast<char*>("folder"), g_strdup(folder.c_str()));
        g_hash_table_insert(table.get(), const_cast<char*>("kind"), g_strndup(kind.data(), kind.size()));
        if (account)
            g_hash_table_insert(table.get(), const_cast<char*>("account"), g_strdup(account->c_str()));
        return table;
    }

    /// `why` for a failed call; always false.
    bool failed(GError* error, const char* what, std::string* why) const
    {
        const ErrorOwned owned(error, &g_error_free);
        *why = what;
        if (g_cancellable_is_cancelled(m_cancellable.get()))
            *why += " (応答がありません)";
        else if (error)
            *why += std::string(" (") + error->message + ")";
        return false;
    }

private:
    GOwned<GCancellable> m_cancellable;
    GOwned<SecretService> m_service;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_watchdog;
};

/// Removes `items` (a search's list, freed here); false with `why` set
/// when one is locked or cannot be removed.
bool RemoveItems(Request& request, GList* items, std::string* why)
{
    bool ok = true;
    for (GList* at = items; at; at = at->next) {
        auto* item = static_cast<SecretItem*>(at->data);
        GError* error = nullptr;
        if (ok && secret_item_get_locked(item)) {
            *why = "キーリングがロックされています";
            ok = false;
        } else if (ok && !secret_item_delete_sync(item, request.cancellable(), &error)) {
            ok = request.failed(error, "キーリングから削除できません", why);
        }
    }
    g_list_free_full(items, g_object_unref);
    return ok;
}

} // namespace

SecretResult StoreSecret(const std::string& folder, std::string_view kind, const std::string& account,
                         const std::string& secret, std::string* why)
{
    if (const char* use = std::getenv("TESSALY_KEYRING"); use && std::string_view(use) == "0") {
        *why = "TESSALY_KEYRING=0 のため";
        return SecretResult::Unavailable;
    }
    if (!HasSessionBus())
        return NoSessionBus(why);
    Request request;
    SecretService* service = request.open(why);
    if (!service)
        return SecretResult::Unavailable;
    // Only into a default keyring that is there and open: creating or
    // unlocking one would ask the user, who may not be at a screen.
    GError* error = nullptr;
    const GOwned<SecretCollection> collection(secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, request.cancellable(), &error));
    if (!collection) {
        if (error)
            request.failed(error, "既定のキーリングを開けません", why);
        else
            *why = "既定のキーリングがありません";
        return SecretResult::Unavailable;
    }
    if (secret_collection_get_locked(collection.get())) {
        *why = "キーリングがロックされています";
        return SecretResult::Unavailable;
    }
    // One item per folder and kind, whatever account it was for before.
    GList* items = nullptr;
    if (!request.search(folder, kind, false, &items, why) || !RemoveItems(request, items, why))
        return SecretResult::Unavailable;
    const TableOwned attributes = Request::Attributes(folder, kind, &account);
    SecretValue* value = secret_value_new(secret.c_str(), -1, "text/plain");
    const std::string label = "Tessaly (" + std::string(kind) + (account.empty() ? "" : ", " + account) + ")";
    SecretItem* item = secret_item_create_sync(collection.get(), Schema(), attributes.get(), label.c_str(), value,
                                               SECRET_ITEM_CREATE_REPLACE, request.cancellable(), &error);
    secret_value_unref(value);
    if (!item) {
        request.failed(error, "キーリングに保存できません", why);
        return SecretResult::Unavailable;
    }
    g_object_unref(item);
    return SecretResult::Done;
}

SecretResult LookupSecret(const std::string& folder, std::string_view kind, std::string* secret, std::string* why)
{
    if (!HasSessionBus())
        return NoSessionBus(why);
    Request request;
    GList* items = nullptr;
    if (!request.open(why) || !request.search(folder, kind, true, &items, why))
        return SecretResult::Unavailable;
    SecretResult result = SecretResult::Missing;
    if (items) {
        auto* item = static_cast<SecretItem*>(items->data);
        SecretValue* value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
        const char* text = value ? secret_value_get_text(value) : nullptr;
        if (text) {
            *secret = text;
            result = SecretResult::Done;
        } else {
            *why = "キーリングがロックされています";
            result = SecretResult::Unavailable;
        }
        if (value)
            secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    return result;
}

SecretResult RemoveSecret(const std::string& folder, std::string_view kind, std::string* why)
{
    if (!HasSessionBus())
        return NoSessionBus(why);
    Request request;
    GList* items = nullptr;
    if (!request.open(why) || !request.search(folder, kind, false, &items, why) || !RemoveItems(request, items, why))
        return SecretResult::Unavailable;
    return SecretResult::Done;
}

std::string SecretsInFileMessage(const std::string& path, const std::string& why)
{
    return "秘密情報はキーリングではなく " + path + " に保存しました (" + why + ")。";
}

} // namespace tessaly
