#pragma once
// The blocking hand-off: other threads run calls on the user-interface thread and wait for them.
#include <windows.h>
#include <exception>
#include <functional>

// Creates, on the calling thread (which becomes the user-interface thread), the application's hidden
// top-level window. It owns the program's top-level windows and serves the hand-off in every message
// loop of that thread, modal ones included. A program without windows of its own asks for a
// message-only window instead: it needs no desktop (Wine without a display has none).
HWND CreateHandOffWindow(bool messageOnly = false);
HWND HandOffWindow();
void DestroyHandOffWindow();

// Runs call on the user-interface thread and waits, without a time limit, until it has run. Calls
// run in the order queued. A failure thrown by call is thrown again here. On the user-interface
// thread itself the call runs at once. From work running beside the messages (below) it throws at
// once: the user-interface thread holds calls until that work is done, so it would wait for ever.
void Synchronize(const std::function<void()>& call);

// The same hand-off in two halves, so that a thread can go on working while its call runs: Queue
// returns at once, Wait waits until the call has run and throws its failure again. The call and
// this object must stay alive, and unused, until Wait has returned; every Queue needs its Wait.
struct THandOffCall {
    const std::function<void()>* Call = nullptr;
    std::exception_ptr Failure;
    bool Done = false;
    bool Posted = false;
};
void Queue(THandOffCall& queued, const std::function<void()>& call);
void Wait(THandOffCall& queued);

bool IsUserInterfaceThread();

// Runs call on the user-interface thread after the message being handled, as a posted message of its
// own: long work cut into such pieces leaves the window answering between them. Meant for that
// thread; elsewhere, without the hand-off window, or with the queue full, call runs at once.
void Later(std::function<void()> call);
// Tests meet a full queue with it (Wine's queue never fills): while set, Later's message finds no room.
void SetQueueFullForTesting(bool full);

// Runs work on a helper thread while the user-interface thread keeps answering messages sent to its
// windows and painting them, so that a long computation does not leave the window dead. Input,
// timers, other posted messages and hand-off calls wait until work has ended; hand-off calls stay held
// even when a sent message opens a modal loop meanwhile. So work may read anything that only those
// change, and nothing may change what work reads. A failure thrown by work is thrown again here. Off
// the user-interface thread, work simply runs.
void RunBesideMessages(const std::function<void()>& work);
// Answers the messages sent to this thread's windows and paints them, leaving input, timers and
// posted messages queued: between the blocks of long work on the user-interface thread.
void AnswerSentAndPaint();
