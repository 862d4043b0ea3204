// Start-up: time from starting the process to its main window mapped on an X server, for
// vekEdit with the sample file against a bare Qt window with one text box built the same way.
// Run with DISPLAY set (Xvfb will do): bench_startup VEKEDIT BARE FILE
#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds until the program's first top-level window is mapped.
double timeToWindow(xcb_connection_t* x, const QString& program, const QStringList& args) {
    QElapsedTimer clock;
    QProcess p;
    clock.start();
    p.start(program, args);
    double ms = -1;
    while (xcb_generic_event_t* e = xcb_wait_for_event(x)) {
        const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
        free(e);
        if (mapped) {
            ms = clock.nsecsElapsed() / 1e6;
            break;
        }
    }
    p.kill();
    p.waitForFinished();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return std::fprintf(stderr, "usage: %s VEKEDIT BARE FILE\n", argv[0]), 2;
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) return std::fprintf(stderr, "no X server\n"), 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);
    std::vector<double> editor, bare;
    for (int i = 0; i < 7; ++i) {
        editor.push_back(timeToWindow(x, argv[1], {argv[3]}));
        bare.push_back(timeToWindow(x, argv[2], {}));
    }
    std::sort(editor.begin(), editor.end());
    std::sort(bare.begin(), bare.end());
    std::printf("Process start to main window mapped (median of 7)\n");
    std::printf("  bare Qt window: %6.1f ms\n  vekEdit + file: %6.1f ms   %.2fx (target <= 1.5)\n",
                bare[3], editor[3], editor[3] / bare[3]);
    xcb_disconnect(x);
    return 0;
}
