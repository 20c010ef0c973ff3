// The sender: one thread of its own that carries the program's backend
// requests (the start-up queries and every event) one after another, in the
// order they were handed over, so that the window thread never waits on the
// network and the requests still leave in the order and with the bytes of a
// program that sent each one in turn.
//
// Contract:
// - post() may be called from any thread and returns at once.  Jobs run on
//   the sender's thread, one at a time, in the order they were posted; a job
//   builds its request when it runs, from what the jobs before it learnt.
// - A job blocks the sender for its request (the transport bounds it) and
//   hands that request abandonFlag(), so a request still in flight when the
//   sender gives up ends within about a second.  Nothing a job throws leaves
//   the sender.
// - drain() waits until everything posted has been sent, or until its
//   deadline: then what is left is dropped (one diagnostic line says how
//   much), the request in flight is abandoned and later posts are dropped.
// - The destructor drops what is queued, abandons the request in flight and
//   joins the thread.  Without a thread (none could be started) post() runs
//   the job on the caller's thread, as a program without a sender would.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace backend {

class Sender {
  public:
    using Job = std::function<void()>;
    using Deadline = std::chrono::steady_clock::time_point;

    Sender();
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void post(Job job);
    // True when everything posted has been sent by `deadline`
    // (Deadline::max(): however long it takes).
    bool drain(Deadline deadline);
    // Set once the sender gives up: a request watching it ends early.
    const std::atomic<bool>* abandonFlag() const { return &m_abandoned; }

  private:
    void loop();
    static void runJob(const Job& job);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    bool m_busy = false;      // a job is running
    bool m_stopping = false;  // nothing more is sent
    std::atomic<bool> m_abandoned{false};
    std::thread m_thread;
};

}  // namespace backend
