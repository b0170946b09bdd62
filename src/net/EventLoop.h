#pragma once
// TEventLoop: the one event loop of the program, over libuv. Everything (socket readiness, posted
// notices, timers, name-lookup results) is delivered on the thread that runs it.

#include <uv.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TEventLoop;

// A target for posted notices. Destroying it drops its notices that are still queued, so an object
// may post to itself and be destroyed before the loop delivers them.
class TNoticeTarget {
 public:
  explicit TNoticeTarget(TEventLoop& loop);
  ~TNoticeTarget();
  TNoticeTarget(const TNoticeTarget&) = delete;
  TNoticeTarget& operator=(const TNoticeTarget&) = delete;

  // Queues fn behind every notice posted before it (by any target). It runs later, from the loop;
  // never inside Post.
  void Post(std::function<void()> fn);
  // The same for a notice that calls fn(owner, arg): for a notice posted once per request, where
  // building, moving and destroying a std::function costs more than the notice's own work.
  using TPlainNotice = void (*)(void* owner, uint32_t arg);
  void Post(TPlainNotice fn, void* owner, uint32_t arg);
  // Number of this target's notices not yet delivered.
  uint32_t Pending() const { return pending_; }
  TEventLoop& Loop() const { return loop_; }

 private:
  friend class TEventLoop;
  TEventLoop& loop_;
  uint32_t pending_ = 0;
};

// Receives the readiness of one descriptor (see TFdWatch).
class TFdWatchHandler {
 public:
  virtual ~TFdWatchHandler() = default;
  // status is 0 or a negative libuv error (a refused connect arrives as UV_EBADF with the watch
  // already stopped); events is a mask of UV_READABLE, UV_WRITABLE, UV_DISCONNECT.
  virtual void FdReady(int status, int events) = 0;
};

// Readiness of one non-blocking socket. The watch and its owner may be destroyed at any time, also
// inside FdReady: an event still queued for it is then dropped.
class TFdWatch {
 public:
  struct Block;
  TFdWatch(TEventLoop& loop, int fd, TFdWatchHandler* handler);
  // Stops the watch; the descriptor is left open unless CloseWithFd was called.
  ~TFdWatch();
  TFdWatch(const TFdWatch&) = delete;
  TFdWatch& operator=(const TFdWatch&) = delete;

  // Set in FdReady's events of an edge watch when the descriptor hung up (no error reported).
  static constexpr int Hangup = 0x100;
  // Set in FdReady's events of an edge watch when the peer's end of the stream had arrived, with
  // no hang-up, error or urgent data beside it: everything the peer sent is already queued, so
  // a read that leaves room in its buffer has taken the rest, and the next read can only find
  // the end.
  static constexpr int PeerFin = 0x200;

  // Watches the given events (replacing the previous mask), level-triggered: readiness repeats
  // while it lasts. Returns 0 or a negative libuv error.
  int Start(int events);
  // Registers the descriptor once for every event, edge-triggered, and reports only the wanted
  // ones: a connection then costs one registration, whatever it waits for later. Readiness that
  // arrives while not wanted is dropped, so the owner must read until the descriptor is drained,
  // or call Rearm. Returns 0 or a negative libuv error.
  int StartEdge(int wanted);
  // Edge watch: changes the wanted events without a system call.
  void Want(int wanted);
  // Edge watch: reports the descriptor's current readiness again (what is wanted of it).
  int Rearm();
  bool Edge() const { return edge_; }
  void Stop();
  int Events() const { return events_; }
  int Fd() const { return fd_; }
  // Removes the descriptor from the watched set and closes it. After this call the watch is inert.
  void CloseWithFd();

 private:
  static constexpr uint32_t NoSlot = UINT32_MAX;
  Block* block() const;
  TEventLoop& loop_;
  uint32_t slot_;  // the loop's block of this watch; NoSlot once released
  int fd_;
  int events_ = 0;
  bool edge_ = false;
};

// A watch as the loop keeps it.
struct TFdWatch::Block {
  TFdWatchHandler* handler = nullptr;  // nullptr while the block is free
  int fd = -1;
  int events = 0;  // level: the mask registered; edge: the events wanted
  bool registered = false;
  bool edge = false;
  uint32_t slot = 0;
  uint32_t gen = 0;
};

// A one-shot (or repeating) timer on the loop.
class TTimer {
 public:
  explicit TTimer(TEventLoop& loop);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  // Arms the timer: fn runs after ms milliseconds (and then every repeat_ms if that is non-zero).
  // Re-arming replaces the previous interval and function.
  void Start(uint64_t ms, std::function<void()> fn, uint64_t repeat_ms = 0);
  void Stop();
  bool Active() const;

 private:
  struct Block;
  TEventLoop& loop_;
  Block* block_;
};

// An IPv4 name lookup on libuv's worker pool (or of the installed resolver, see NameResolver.h);
// the result comes back on the loop thread.
class TDnsLookup {
 public:
  // error is 0 or a Winsock-numbered code (11001 host not found ...); addresses are dotted IPv4.
  using Callback = std::function<void(int error, const std::vector<std::string>& addresses)>;

  explicit TDnsLookup(TEventLoop& loop);
  ~TDnsLookup();  // cancels a pending lookup
  TDnsLookup(const TDnsLookup&) = delete;
  TDnsLookup& operator=(const TDnsLookup&) = delete;

  // Starts a lookup (cancelling a pending one). Returns 0, or a Winsock-numbered error when the
  // lookup cannot be started; the callback then never runs. The callback never runs inside Start.
  // A host with a bracket or a colon (a damaged address, never a name) fails with 11001 unasked.
  int Start(const std::string& host, Callback fn);
  // The callback of the pending lookup will not run. Returns whether one was pending.
  bool Cancel();
  bool Pending() const { return req_ != nullptr || fixedpending_; }

 private:
  struct Request;
  static void Done(uv_getaddrinfo_t* req, int status, struct addrinfo* res);
  TEventLoop& loop_;
  Request* req_ = nullptr;
  // An installed resolver answers at once; its answer is delivered later, as a notice.
  std::unique_ptr<TNoticeTarget> fixed_;
  bool fixedpending_ = false;
};

class TEventLoop {
 public:
  TEventLoop();
  // Closes every handle still open and the libuv loop.
  ~TEventLoop();
  TEventLoop(const TEventLoop&) = delete;
  TEventLoop& operator=(const TEventLoop&) = delete;

  // The program's loop, created on first use (the engine, sockets and windows share it).
  static TEventLoop& Default();

  uv_loop_t* uv() { return &loop_; }

  // Runs until nothing is left to wait for, or Stop. Must not be called from inside the loop.
  void Run();
  // One pass: with wait, blocks for the next event; without, handles only what is ready.
  // Returns whether anything is left to wait for. Does nothing when already inside the loop.
  bool RunOnce(bool wait);
  void Stop();
  // True while uv_run is on the stack: libuv is not re-entrant.
  bool Running() const { return running_ > 0; }

  // "Process pending events once": the host's hook (the window processes its Qt events) or, with
  // no hook and outside the loop, one non-blocking pass of the loop.
  void ProcessMessages();
  void SetProcessMessagesHook(std::function<void()> hook) { process_hook_ = std::move(hook); }

  // Called when work is added from outside uv_run (a new watch, timer, lookup or notice), so a host
  // that drives the loop from its own (the Qt bridge) runs a pass soon: new descriptors only join
  // epoll inside uv_run.
  void SetKickHook(std::function<void()> hook) { kick_hook_ = std::move(hook); }
  void Kick();

  // Notices queued and not yet delivered (for tests and diagnostics).
  size_t PendingNotices() const { return queued_ - cancelled_; }

  // Closes the loop: 0 when no handle was left open, UV_EBUSY otherwise (tests assert 0).
  int Close();

  // An exception that escaped a handler run from the loop is reported here and never unwinds into
  // libuv. The window shows it in an error box; the default prints it on stderr.
  static void SetExceptionHook(std::function<void(const std::string&)> hook);
  static void ReportException(const std::string& what);

 private:
  friend class TNoticeTarget;
  friend class TFdWatch;
  // A queued notice: a std::function, or a plain call in the same room (a slot is no larger
  // for it). A free slot holds an empty function.
  struct PlainCall {
    TNoticeTarget::TPlainNotice fn;
    void* owner;
    uint32_t arg;
  };
  struct Notice {
    Notice() : fn() {}
    ~Notice() {
      if (!isplain()) fn.~function();
    }
    Notice(const Notice&) = delete;
    Notice& operator=(const Notice&) = delete;
    // Back to a free slot.
    void clear();
    // Takes over from's notice; this slot was free, from is free afterwards.
    void take(Notice& from);

    TNoticeTarget* target() const {
      return reinterpret_cast<TNoticeTarget*>(targetbits & ~uintptr_t(1));
    }
    bool isplain() const { return (targetbits & 1) != 0; }

    // The target's address, with its lowest bit (always 0 for a target) set for a plain call:
    // a flag of its own would make every slot of the ring larger.
    uintptr_t targetbits = 0;
    union {
      std::function<void()> fn;
      PlainCall plain;
    };
  };
  void Post(TNoticeTarget* target, std::function<void()>&& fn);
  void Post(TNoticeTarget* target, const PlainCall& call);
  Notice& newnotice(TNoticeTarget* target);
  void Cancel(TNoticeTarget* target);
  Notice& queued(size_t i) { return notices_[(first_ + i) & mask_]; }
  static void OnIdle(uv_idle_t* idle);
  void Deliver();

  // Sockets' readiness (see TFdWatch): our epoll set and the libuv handle that watches it.
  uint32_t acquirewatch(int fd, TFdWatchHandler* handler);
  int watchfd(TFdWatch::Block* b, int events, bool edge);
  void unwatchfd(TFdWatch::Block* b);
  void releasewatch(TFdWatch::Block* b, bool closing);
  void updatesockpoll();
  void dispatchsockets();
  TFdWatch::Block* block(uint64_t key);

  uv_loop_t loop_;
  uv_idle_t idle_;  // active exactly while notices wait: the loop must not block then
  int epfd_ = -1;
  uv_poll_t sockpoll_{};
  bool sockpollactive_ = false;
  size_t watched_ = 0;
  // Watches by slot; an event carries slot and generation, so one for a released watch (or a
  // descriptor closed without leaving the set) is recognised and dropped. The blocks lie side by
  // side and are reused, last released first: a connection then costs no allocation, and its
  // block is still in the cache. A new watch may move them: hold slots, not pointers.
  std::vector<TFdWatch::Block> blocks_;
  std::vector<uint32_t> freeslots_;
  uint32_t nextgen_ = 0;
  // Queued notices, oldest first, in a ring whose size is a power of two; it only grows, so a
  // steady stream of notices allocates nothing.
  std::vector<Notice> notices_;
  size_t mask_ = 0;  // the ring's size - 1
  size_t first_ = 0;
  size_t queued_ = 0;
  size_t cancelled_ = 0;
  int running_ = 0;
  bool closed_ = false;
  std::function<void()> process_hook_;
  std::function<void()> kick_hook_;
};
