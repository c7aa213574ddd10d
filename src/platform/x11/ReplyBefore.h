#pragma once

#include "platform/ScreenCapture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

// Waiting for one xcb reply no longer than a deadline. xcb's own *_reply
// functions block until the server answers, so a server that has stopped
// (suspended, swapping, wedged) would hold the caller forever; here the
// socket is read only when poll(2) says it has data, and the wait ends at
// the deadline whatever the server does.
namespace platform {

template <class T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter<T>>;

template <class T> struct Answer {
    Reply<T> reply;                    // null on an error or a time-out
    Reply<xcb_generic_error_t> error;  // the server's error, when it sent one
    bool timedOut = false;             // the deadline came first
};

// The reply to the request with this sequence number (from its cookie) once
// it arrives, or a time-out at the deadline. A late reply is discarded by
// xcb when it comes, so the connection stays usable. A broken connection
// answers at once, with neither reply nor error.
template <class T> Answer<T> replyBefore(xcb_connection_t* connection, unsigned sequence, Deadline deadline) {
    using namespace std::chrono;
    xcb_flush(connection);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection, sequence, &reply, &error))
            return {Reply<T>(static_cast<T*>(reply)), Reply<xcb_generic_error_t>(error), false};
        const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) {
            xcb_discard_reply(connection, sequence);
            return {nullptr, nullptr, true};
        }
        pollfd socket{xcb_get_file_descriptor(connection), POLLIN, 0};
        // Readable, hung up, interrupted or timed out: the loop looks again.
        poll(&socket, 1, int(std::min<decltype(left)>(left, 60'000)));
    }
}

} // namespace platform
