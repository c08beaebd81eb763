// SPDX-License-Identifier: MIT
#pragma once

#include "traycontrol/ControlSite.h"
#include "traycontrol/NotificationArea.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

namespace lumitray::test {

/// A host container whose answers the test sets and whose reports it keeps.
class TestSite final : public ControlSite {
public:
    bool running = true;
    QString name = QStringLiteral("Lumitray1");
    std::int32_t index = 0;
    std::int32_t indexError = ErrorNotAnArray;
    QStringList changes;
    QStringList messages;
    std::pair<std::int32_t, std::int32_t> extent{0, 0};

    bool userMode() const override { return running; }
    QString extenderName() const override { return name; }
    std::int32_t extenderIndex(std::int32_t* out) const override
    {
        if (indexError == 0)
            *out = index;
        return indexError;
    }
    void propertyChanged(const QString& property) override { changes << property; }
    void setExtent(std::int32_t width, std::int32_t height) override { extent = {width, height}; }
    void showCriticalMessage(const QString& text) override { messages << text; }
};

/// One call of the notification-area function.
struct ShellCall {
    std::uint32_t operation;
    TrayIconRequest request;
};

/// Installs, for its life, a notification area that keeps every request it is sent.
class ShellRecorder final {
    struct Area final : NotificationArea {
        std::vector<ShellCall>* calls;
        explicit Area(std::vector<ShellCall>* c) : calls(c) {}
        bool notifyIcon(std::uint32_t operation, const TrayIconRequest& request) override
        {
            calls->push_back({operation, request});
            return true;
        }
    };
    std::unique_ptr<NotificationArea> m_previous = SetNotificationArea(std::make_unique<Area>(&calls));

public:
    std::vector<ShellCall> calls;
    ~ShellRecorder() { SetNotificationArea(std::move(m_previous)); }
};

/// One raised event: its id and its Button argument (0 when it has none).
struct RaisedEvent {
    DispId id;
    std::int32_t button;
    friend bool operator==(const RaisedEvent&, const RaisedEvent&) = default;
};

/// Keeps the events a control raises.
class EventLog final : public EventSink {
public:
    std::vector<RaisedEvent> events;
    void invoke(DispId id, std::span<Variant> arguments) override
    {
        events.push_back({id, arguments.empty() ? 0 : arguments[0].rawNumber()});
    }
};

} // namespace lumitray::test
