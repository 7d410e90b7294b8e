// Storms of sound-server events, for the microphone watcher's tests:
//   volume-storm volume SOURCE   changes the source's volume as fast as the server takes it;
//   volume-storm streams SOURCE N   opens N record streams on the source at once and holds them.
// Runs until ended; prints "storming" once the storm is under way.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <pulse/pulseaudio.h>

namespace {

const char* source = nullptr;
pa_context* context = nullptr;
bool streams = false;
int count = 0;
int inFlight = 0;
long done = 0;

void storming() {
    std::puts("storming");
    std::fflush(stdout);
}

void change();

void onChanged(pa_context*, int, void*) {
    --inFlight;
    if (++done == 100) storming();
    change();
}

// Keeps a few changes in flight at all times, alternating between two volumes.
void change() {
    while (inFlight < 16) {
        pa_cvolume volume;
        pa_cvolume_set(&volume, 1, (done + inFlight) % 2 ? PA_VOLUME_NORM : PA_VOLUME_NORM / 2);
        pa_operation* operation = pa_context_set_source_volume_by_name(context, source, &volume, onChanged, nullptr);
        if (!operation) return;
        pa_operation_unref(operation);
        ++inFlight;
    }
}

void openStreams() {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, 8000, 1};
    for (int i = 0; i < count; ++i) {
        pa_stream* stream = pa_stream_new(context, "storm", &spec, nullptr);
        if (stream) pa_stream_connect_record(stream, source, nullptr, PA_STREAM_NOFLAGS);
    }
    storming();
}

void onState(pa_context* c, void*) {
    if (pa_context_get_state(c) != PA_CONTEXT_READY) return;
    if (streams) openStreams();
    else change();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    streams = std::strcmp(argv[1], "streams") == 0;
    source = argv[2];
    count = argc > 3 ? std::atoi(argv[3]) : 0;
    pa_mainloop* loop = pa_mainloop_new();
    context = pa_context_new(pa_mainloop_get_api(loop), "volume-storm");
    pa_context_set_state_callback(context, onState, nullptr);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return 1;
    int result = 0;
    pa_mainloop_run(loop, &result);
    return result;
}
