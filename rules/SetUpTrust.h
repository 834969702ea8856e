// When a streaming set-up can be taken to have reached the tracker whole.
// A tracker that comes on in the middle of a set-up hears only its tail:
// without the alignment it streams in its own raw frame, and nothing in its
// records tells. A set-up that began within a second of a valid record found
// the tracker running, and one without a failed write sent every byte, so
// the tracker heard it all. Any other set-up that sends an alignment is
// confirmed at the first valid record after it: the stream stopped, the line
// emptied and the whole set-up sent again, and nothing read before that is
// used. The plug-in and the hosts around it judge their set-ups by this one
// rule; it depends on nothing but the standard library.
#pragma once

#include <chrono>

namespace setuptrust {

// How long before a set-up's first byte a valid record proves the tracker on.
constexpr std::chrono::milliseconds recordWindow{1000};

// sendsAlignment: the set-up aligns the stations (CAVE coordinates with a
// tracker station); writeFailed: a write of it did not take all its bytes;
// recordSeen: a valid record came before it; sinceRecord: from that record
// to the set-up's first byte.
template <class Duration>
constexpr bool trusted(bool sendsAlignment, bool writeFailed, bool recordSeen, Duration sinceRecord) {
    return !sendsAlignment || (!writeFailed && recordSeen && sinceRecord < recordWindow);
}

} // namespace setuptrust
