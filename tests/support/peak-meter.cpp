// A volume meter, as a sound settings panel shows one: a peak-detecting record stream on the
// source named by its argument, held until it is ended.
#include <cstdint>

#include <pulse/pulseaudio.h>

namespace {

const char* device = nullptr;

void onState(pa_context* context, void*) {
    if (pa_context_get_state(context) != PA_CONTEXT_READY) return;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 25, 1};
    pa_stream* stream = pa_stream_new(context, "Peak detect", &spec, nullptr);
    const pa_buffer_attr attributes{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                                    static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                                    sizeof(float)};
    pa_stream_connect_record(stream, device, &attributes,
                             static_cast<pa_stream_flags_t>(PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY));
}

}  // namespace

int main(int argc, char** argv) {
    // parecord's arguments: --raw -d SOURCE
    device = argc > 3 ? argv[3] : nullptr;
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "peak-meter");
    pa_context_set_state_callback(context, onState, nullptr);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return 1;
    int result = 0;
    pa_mainloop_run(loop, &result);
    return result;
}
