#pragma once

// Hands values from the main thread to the render thread without locks and
// without freeing anything on the render thread.
//
// The main thread posts a value (allocated there). The render thread takes the
// latest posted letter at the start of a slice, typically swaps its contents with
// the state it replaces, and retires the letter; the main thread frees retired
// letters on its next post() or collect(), or in the destructor.
//
// One posting thread (main) and one taking thread (render). The destructor runs
// when the render thread no longer takes (the output is closed).

#include <atomic>
#include <utility>

template <typename T> class RenderMailbox {
public:
    struct Letter {
        T value;
        Letter *next = nullptr; // retired list link
    };

    RenderMailbox() = default;
    RenderMailbox(const RenderMailbox&) = delete;
    RenderMailbox& operator=(const RenderMailbox&) = delete;
    ~RenderMailbox()
    {
        delete m_pending.exchange(nullptr);
        collect();
    }

    // Main thread. Replaces a letter that the render thread has not taken yet;
    // merge(newer, older) may carry over what the older one asked for.
    template <typename Merge> void post(T value, Merge merge)
    {
        collect();
        Letter *older = m_pending.exchange(nullptr, std::memory_order_acquire);
        if (older) {
            merge(value, older->value);
            delete older;
        }
        m_pending.store(new Letter{std::move(value)}, std::memory_order_release);
    }
    void post(T value)
    {
        post(std::move(value), [](T&, T&) {});
    }

    // Main thread: frees the letters the render thread has retired.
    void collect()
    {
        Letter *letter = m_retired.exchange(nullptr, std::memory_order_acquire);
        while (letter) {
            Letter *next = letter->next;
            delete letter;
            letter = next;
        }
    }

    // Main thread: true while a posted letter waits to be taken.
    bool hasPending() const { return m_pending.load(std::memory_order_acquire) != nullptr; }

    // Render thread: the latest posted letter, or null. The caller owns it until
    // it hands it to retire().
    Letter *take() { return m_pending.exchange(nullptr, std::memory_order_acq_rel); }

    // Render thread: gives a taken letter back to the main thread for freeing.
    void retire(Letter *letter)
    {
        letter->next = m_retired.load(std::memory_order_relaxed);
        while (!m_retired.compare_exchange_weak(letter->next, letter, std::memory_order_release,
                                                std::memory_order_relaxed)) {
        }
    }

private:
    std::atomic<Letter *> m_pending{nullptr}; // atomic; set by main, taken by render
    std::atomic<Letter *> m_retired{nullptr}; // atomic; pushed by render, drained by main
};
