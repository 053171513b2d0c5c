#pragma once

// What an engine (CAPlayer) tells its owner. Both calls arrive on the main thread.
class CAPlayerDelegate {
public:
    virtual ~CAPlayerDelegate() = default;

    // Sent synchronously from play() (true), and from pause(), stop() and the
    // destruction of a prepared engine (false).
    virtual void playerIsPlaying(bool playing) = 0;
    // Posted from the render thread when the file has been played to its end (or,
    // once, when play() is called on an engine whose file failed to open). The
    // engine may be destroyed from inside this call.
    virtual void playerDidFinishPlaying() = 0;
};
