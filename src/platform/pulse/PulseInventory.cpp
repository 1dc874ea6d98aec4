#include "platform/pulse/PulseInventory.h"

#include "platform/pulse/PulsePtr.h"

#include <algorithm>

namespace backreel {

namespace {

// The three questions asked of the server at once, and their answers as they come, through one loop.
struct Asking {
    pa_mainloop* loop = nullptr;
    AudioInventory inventory;
    std::string defaultSource;
    int pending = 0;
    std::optional<Error> failure;
    bool timedOut = false;

    void fail(pa_context* context, const QString& what) {
        if (!failure) {
            failure = Error(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(pa_strerror(pa_context_errno(context)))));
        }
    }
    void answered() {
        if (--pending == 0) {
            pa_mainloop_quit(loop, 0);
        }
    }
};

QString property(const pa_proplist* properties, const char* key) {
    const char* value = pa_proplist_gets(properties, key);
    return value != nullptr ? QString::fromUtf8(value) : QString();
}

void sourceArrived(pa_context* context, const pa_source_info* info, int last, void* userdata) {
    auto* asking = static_cast<Asking*>(userdata);
    if (last < 0) {
        asking->fail(context, QStringLiteral("Could not list the microphones"));
    }
    if (last != 0) {
        asking->answered();
        return;
    }
    if (info != nullptr && info->monitor_of_sink == PA_INVALID_INDEX) {
        const char* description = info->description != nullptr ? info->description : info->name;
        asking->inventory.microphones.push_back({info->name, QString::fromUtf8(description)});
    }
}

void sinkInputArrived(pa_context* context, const pa_sink_input_info* info, int last, void* userdata) {
    auto* asking = static_cast<Asking*>(userdata);
    if (last < 0) {
        asking->fail(context, QStringLiteral("Could not list the applications playing"));
    }
    if (last != 0) {
        asking->answered();
        return;
    }
    const QString binary = info != nullptr ? property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY) : QString();
    if (binary.isEmpty()) {
        return;
    }
    std::vector<AudioApplication>& applications = asking->inventory.applications;
    const std::string key = binary.toStdString();
    std::erase_if(applications, [&key](const AudioApplication& known) { return known.binary == key; });
    QString name = property(info->proplist, PA_PROP_APPLICATION_NAME);
    applications.push_back({key, name.isEmpty() ? binary : name, property(info->proplist, PA_PROP_APPLICATION_ICON_NAME)});
}

void serverInfoArrived(pa_context*, const pa_server_info* info, void* userdata) {
    auto* asking = static_cast<Asking*>(userdata);
    if (info != nullptr && info->default_source_name != nullptr) {
        asking->defaultSource = info->default_source_name;
    }
    asking->answered();
}

void contextStateChanged(pa_context* context, void* userdata) {
    auto* asking = static_cast<Asking*>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        asking->pending = 3;
        const PaOperationPtr server(pa_context_get_server_info(context, &serverInfoArrived, asking));
        const PaOperationPtr sources(pa_context_get_source_info_list(context, &sourceArrived, asking));
        const PaOperationPtr inputs(pa_context_get_sink_input_info_list(context, &sinkInputArrived, asking));
        if (!server || !sources || !inputs) {
            asking->fail(context, QStringLiteral("Could not ask the audio server what it records"));
            pa_mainloop_quit(asking->loop, 1);
        }
        return;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        asking->fail(context, QStringLiteral("Could not connect to the audio server"));
        pa_mainloop_quit(asking->loop, 1);
        return;
    default:
        return;
    }
}

void deadlinePassed(pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
    auto* asking = static_cast<Asking*>(userdata);
    asking->timedOut = true;
    pa_mainloop_quit(asking->loop, 1);
}

} // namespace

Expected<AudioInventory> readAudioInventory(const std::string& server, std::chrono::milliseconds deadline) {
    const PaMainloopPtr loop(pa_mainloop_new());
    if (!loop) {
        return Error(QStringLiteral("Could not ask the audio server: no memory."));
    }
    Asking asking;
    asking.loop = loop.get();
    pa_mainloop_api* api = pa_mainloop_get_api(loop.get());
    {
        // Both go before the loop does.
        const PaContextPtr context(pa_context_new(api, "Backreel"));
        if (!context) {
            return Error(QStringLiteral("Could not ask the audio server: no memory."));
        }
        const PaTimeEventPtr timer(
            pa_context_rttime_new(context.get(), pa_rtclock_now() + static_cast<pa_usec_t>(deadline.count()) * PA_USEC_PER_MSEC,
                                  &deadlinePassed, &asking),
            PaTimeEventDeleter{api});
        pa_context_set_state_callback(context.get(), &contextStateChanged, &asking);
        if (pa_context_connect(context.get(), server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                               nullptr) < 0) {
            asking.fail(context.get(), QStringLiteral("Could not connect to the audio server"));
        } else {
            int result = 0;
            pa_mainloop_run(loop.get(), &result);
        }
    }
    if (asking.failure) {
        return *asking.failure;
    }
    if (asking.timedOut) {
        return Error(QStringLiteral("The audio server did not answer within %1 ms.").arg(deadline.count()));
    }
    // The default microphone first.
    std::vector<AudioDevice>& microphones = asking.inventory.microphones;
    std::stable_partition(microphones.begin(), microphones.end(),
                          [&asking](const AudioDevice& device) { return device.name == asking.defaultSource; });
    return std::move(asking.inventory);
}

} // namespace backreel
