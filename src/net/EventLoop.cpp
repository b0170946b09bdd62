#include "net/EventLoop.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <exception>

#include "net/ErrorCodes.h"
#include "net/NameResolver.h"

namespace {

// An exception must never unwind through libuv's C frames: report it and go on, as a window
// would show it in an error box and keep running.
template <typename F>
void guarded(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    TEventLoop::ReportException(e.what());
  } catch (...) {
    TEventLoop::ReportException("unknown exception");
  }
}

std::function<void(const std::string&)>& exceptionhook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

}  // namespace

// ---- TEventLoop -------------------------------------------------------------------------------

TEventLoop::TEventLoop() {
  uv_loop_init(&loop_);
  uv_idle_init(&loop_, &idle_);
  idle_.data = this;
}

TEventLoop::~TEventLoop() {
  if (closed_) return;
  // Whatever is still open belongs to objects that outlive the loop; close it without callbacks
  // so the loop itself can be released.
  uv_walk(
      &loop_,
      [](uv_handle_t* h, void*) {
        if (!uv_is_closing(h)) uv_close(h, nullptr);
      },
      nullptr);
  uv_run(&loop_, UV_RUN_DEFAULT);
  uv_loop_close(&loop_);
  if (epfd_ >= 0) ::close(epfd_);
}

int TEventLoop::Close() {
  if (closed_) return 0;
  if (epfd_ >= 0 && !uv_is_closing(reinterpret_cast<uv_handle_t*>(&sockpoll_))) {
    uv_close(reinterpret_cast<uv_handle_t*>(&sockpoll_), nullptr);
  }
  if (!uv_is_closing(reinterpret_cast<uv_handle_t*>(&idle_))) {
    uv_close(reinterpret_cast<uv_handle_t*>(&idle_), nullptr);
  }
  uv_run(&loop_, UV_RUN_NOWAIT);
  int rc = uv_loop_close(&loop_);
  if (rc == 0) {
    closed_ = true;
    if (epfd_ >= 0) ::close(epfd_);
    epfd_ = -1;
  }
  return rc;
}

TEventLoop& TEventLoop::Default() {
  static TEventLoop* loop = new TEventLoop();  // never destroyed: objects may outlive main
  return *loop;
}

void TEventLoop::Run() {
  if (Running()) return;
  ++running_;
  uv_run(&loop_, UV_RUN_DEFAULT);
  --running_;
}

bool TEventLoop::RunOnce(bool wait) {
  if (Running()) return true;
  ++running_;
  int more = uv_run(&loop_, wait ? UV_RUN_ONCE : UV_RUN_NOWAIT);
  --running_;
  return more != 0;
}

void TEventLoop::Stop() {
  uv_stop(&loop_);
}

void TEventLoop::ProcessMessages() {
  if (process_hook_) {
    process_hook_();
  } else if (!Running()) {
    RunOnce(false);
  }
}

void TEventLoop::Kick() {
  if (!Running() && kick_hook_) kick_hook_();
}

void TEventLoop::SetExceptionHook(std::function<void(const std::string&)> hook) {
  exceptionhook() = std::move(hook);
}

void TEventLoop::ReportException(const std::string& what) {
  if (exceptionhook()) {
    exceptionhook()(what);
  } else {
    std::fprintf(stderr, "pressbolt: %s\n", what.c_str());
  }
}

void TEventLoop::Notice::clear() {
  if (isplain()) {
    new (&fn) std::function<void()>();
  } else {
    fn = nullptr;
  }
  targetbits = 0;
}

void TEventLoop::Notice::take(Notice& from) {
  targetbits = from.targetbits;
  if (from.isplain()) {
    fn.~function();
    plain = from.plain;
  } else {
    fn.swap(from.fn);
  }
  from.clear();
}

TEventLoop::Notice& TEventLoop::newnotice(TNoticeTarget* target) {
  if (queued_ == 0) uv_idle_start(&idle_, &TEventLoop::OnIdle);
  if (queued_ == notices_.size()) {
    std::vector<Notice> grown(notices_.empty() ? 64 : notices_.size() * 2);
    for (size_t i = 0; i < queued_; ++i) grown[i].take(queued(i));
    notices_.swap(grown);
    first_ = 0;
    mask_ = notices_.size() - 1;
  }
  Notice& n = queued(queued_);
  n.targetbits = reinterpret_cast<uintptr_t>(target);
  ++queued_;
  ++target->pending_;
  return n;
}

void TEventLoop::Post(TNoticeTarget* target, std::function<void()>&& fn) {
  newnotice(target).fn.swap(fn);  // the free slot holds an empty function
  Kick();
}

void TEventLoop::Post(TNoticeTarget* target, const PlainCall& call) {
  Notice& n = newnotice(target);
  n.fn.~function();  // empty: nothing to release
  n.plain = call;
  n.targetbits |= 1;
  Kick();
}

void TEventLoop::Cancel(TNoticeTarget* target) {
  for (size_t i = 0; i < queued_; ++i) {
    Notice& n = queued(i);
    if (n.targetbits != 0 && n.target() == target) {
      n.clear();
      ++cancelled_;
    }
  }
  target->pending_ = 0;
}

void TEventLoop::OnIdle(uv_idle_t* idle) {
  static_cast<TEventLoop*>(idle->data)->Deliver();
}

void TEventLoop::Deliver() {
  // Only the notices queued before this pass: those posted by a handler wait for the next pass,
  // so readiness and timers are never starved by a chain of notices.
  size_t n = queued_;
  while (n-- > 0 && queued_ > 0) {
    // Taken out of the ring first: the notice may post others, and the ring may grow.
    Notice& front = queued(0);
    TNoticeTarget* target = front.target();
    first_ = (first_ + 1) & mask_;
    --queued_;
    if (target == nullptr) {
      --cancelled_;
      continue;
    }
    --target->pending_;
    if (front.isplain()) {
      const PlainCall call = front.plain;
      front.clear();
      guarded([&call] { call.fn(call.owner, call.arg); });
      continue;
    }
    std::function<void()> fn;
    fn.swap(front.fn);  // leaves the slot empty for its next notice
    front.targetbits = 0;
    guarded(fn);
  }
  if (queued_ == 0) uv_idle_stop(&idle_);
}

// ---- TNoticeTarget ----------------------------------------------------------------------------

TNoticeTarget::TNoticeTarget(TEventLoop& loop) : loop_(loop) {}

TNoticeTarget::~TNoticeTarget() {
  if (pending_ > 0) loop_.Cancel(this);
}

void TNoticeTarget::Post(std::function<void()> fn) {
  loop_.Post(this, std::move(fn));
}

void TNoticeTarget::Post(TPlainNotice fn, void* owner, uint32_t arg) {
  loop_.Post(this, TEventLoop::PlainCall{fn, owner, arg});
}

// ---- TFdWatch ---------------------------------------------------------------------------------
// The sockets' readiness comes from one epoll set of our own, which libuv watches as a single
// descriptor. A libuv poll handle per socket would cost seven epoll_ctl calls and an ioctl per
// connection (its pollability check, and a delete plus add on every change of the mask). A level
// watch costs an add, a modify per change of the mask and a delete; an edge watch costs one add,
// and the descriptor's close takes it out of the set.

namespace {

constexpr uint32_t kEdgeMask = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;

uint32_t epollmask(int events) {
  uint32_t m = 0;
  if (events & UV_READABLE) m |= EPOLLIN;
  if (events & UV_WRITABLE) m |= EPOLLOUT;
  if (events & UV_DISCONNECT) m |= EPOLLRDHUP;
  return m;
}

uint64_t blockkey(const TFdWatch::Block* b) {
  return (uint64_t(b->gen) << 32) | b->slot;
}

}  // namespace

TFdWatch::Block* TEventLoop::block(uint64_t key) {
  uint32_t slot = uint32_t(key);
  if (slot >= blocks_.size()) return nullptr;
  TFdWatch::Block& b = blocks_[slot];
  return b.handler != nullptr && b.gen == uint32_t(key >> 32) ? &b : nullptr;
}

uint32_t TEventLoop::acquirewatch(int fd, TFdWatchHandler* handler) {
  const uint32_t gen = ++nextgen_;
  if (freeslots_.empty()) {
    const auto slot = uint32_t(blocks_.size());
    blocks_.push_back(TFdWatch::Block{handler, fd, 0, false, false, slot, gen});
    return slot;
  }
  const uint32_t slot = freeslots_.back();
  freeslots_.pop_back();
  blocks_[slot] = TFdWatch::Block{handler, fd, 0, false, false, slot, gen};
  return slot;
}

int TEventLoop::watchfd(TFdWatch::Block* b, int events, bool edge) {
  if (epfd_ < 0) {
    epfd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epfd_ < 0) return -errno;
    uv_poll_init(&loop_, &sockpoll_, epfd_);
    sockpoll_.data = this;
  }
  if (edge && b->registered && b->edge) {
    b->events = events;
    return 0;
  }
  epoll_event ev{};
  ev.events = edge ? kEdgeMask : epollmask(events);
  ev.data.u64 = blockkey(b);
  int op = b->registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
  if (epoll_ctl(epfd_, op, b->fd, &ev) != 0) return -errno;
  if (!b->registered) ++watched_;
  b->registered = true;
  b->edge = edge;
  b->events = events;
  updatesockpoll();
  return 0;
}

void TEventLoop::unwatchfd(TFdWatch::Block* b) {
  if (!b->registered) return;
  epoll_ctl(epfd_, EPOLL_CTL_DEL, b->fd, nullptr);
  b->registered = false;
  b->events = 0;
  --watched_;
  updatesockpoll();
}

void TEventLoop::releasewatch(TFdWatch::Block* b, bool closing) {
  if (closing && b->registered && b->edge) {
    // The close about to follow takes the descriptor out of the set; a late event for it finds
    // its slot released.
    b->registered = false;
    --watched_;
    updatesockpoll();
  } else {
    unwatchfd(b);
  }
  b->handler = nullptr;
  freeslots_.push_back(b->slot);
}

void TEventLoop::updatesockpoll() {
  // Active only while some socket is watched, so an idle loop can end.
  bool want = watched_ > 0;
  if (want == sockpollactive_) return;
  sockpollactive_ = want;
  if (want) {
    uv_poll_start(&sockpoll_, UV_READABLE, [](uv_poll_t* p, int, int) {
      static_cast<TEventLoop*>(p->data)->dispatchsockets();
    });
    Kick();
  } else {
    uv_poll_stop(&sockpoll_);
  }
}

void TEventLoop::dispatchsockets() {
  epoll_event evs[256];
  int n = epoll_wait(epfd_, evs, 256, 0);
  for (int i = 0; i < n; ++i) {
    // Looked up afresh for every event: a handler may have released any watch, this one too.
    TFdWatch::Block* b = block(evs[i].data.u64);
    if (b == nullptr || b->handler == nullptr || !b->registered || b->events == 0) continue;
    uint32_t e = evs[i].events;
    // An error or hang-up is reported as the events the watch asked for, as libuv does.
    if (e & (EPOLLERR | EPOLLHUP)) e |= epollmask(b->events);
    TFdWatchHandler* h = b->handler;
    if (e & EPOLLERR) {
      unwatchfd(b);
      guarded([&] { h->FdReady(UV_EBADF, 0); });
      continue;
    }
    int pevents = 0;
    if (e & EPOLLIN) pevents |= UV_READABLE;
    if (e & EPOLLOUT) pevents |= UV_WRITABLE;
    if (e & EPOLLRDHUP) pevents |= UV_DISCONNECT;
    pevents &= b->events;
    if (pevents == 0) continue;
    if (b->edge && (evs[i].events & EPOLLHUP) != 0) pevents |= TFdWatch::Hangup;
    guarded([&] { h->FdReady(0, pevents); });
  }
}

TFdWatch::TFdWatch(TEventLoop& loop, int fd, TFdWatchHandler* handler)
    : loop_(loop), slot_(loop.acquirewatch(fd, handler)), fd_(fd) {}

TFdWatch::~TFdWatch() {
  if (slot_ != NoSlot) loop_.releasewatch(block(), false);
}

TFdWatch::Block* TFdWatch::block() const {
  return slot_ == NoSlot ? nullptr : &loop_.blocks_[slot_];
}

int TFdWatch::Start(int events) {
  if (slot_ == NoSlot || fd_ < 0) return UV_EBADF;
  if (events == 0) {
    Stop();
    return 0;
  }
  if (edge_) Stop();  // a change of kind registers anew
  int rc = loop_.watchfd(block(), events, false);
  if (rc == 0) events_ = events;
  return rc;
}

int TFdWatch::StartEdge(int wanted) {
  if (slot_ == NoSlot || fd_ < 0) return UV_EBADF;
  // A level watch that is registered has events; a watch never started has nothing to stop.
  if (!edge_ && events_ != 0) Stop();
  int rc = loop_.watchfd(block(), wanted, true);
  if (rc != 0) return rc;
  edge_ = true;
  events_ = wanted;
  return 0;
}

void TFdWatch::Want(int wanted) {
  Block* b = block();
  if (b == nullptr || !edge_ || !b->registered) return;
  b->events = wanted;
  events_ = wanted;
}

int TFdWatch::Rearm() {
  Block* b = block();
  if (b == nullptr || !edge_ || !b->registered) return UV_EBADF;
  epoll_event ev{};
  ev.events = kEdgeMask;
  ev.data.u64 = blockkey(b);
  return epoll_ctl(loop_.epfd_, EPOLL_CTL_MOD, fd_, &ev) == 0 ? 0 : -errno;
}

void TFdWatch::Stop() {
  if (slot_ != NoSlot) loop_.unwatchfd(block());
  events_ = 0;
  edge_ = false;
}

void TFdWatch::CloseWithFd() {
  if (slot_ != NoSlot) {
    loop_.releasewatch(block(), fd_ >= 0);
    slot_ = NoSlot;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  events_ = 0;
}

// ---- TTimer -----------------------------------------------------------------------------------

struct TTimer::Block {
  uv_timer_t timer;
  TTimer* owner;
  std::function<void()> fn;
};

TTimer::TTimer(TEventLoop& loop) : loop_(loop), block_(new Block{}) {
  uv_timer_init(loop.uv(), &block_->timer);
  block_->timer.data = block_;
  block_->owner = this;
}

TTimer::~TTimer() {
  block_->owner = nullptr;
  uv_close(reinterpret_cast<uv_handle_t*>(&block_->timer),
           [](uv_handle_t* h) { delete static_cast<Block*>(h->data); });
}

void TTimer::Start(uint64_t ms, std::function<void()> fn, uint64_t repeat_ms) {
  block_->fn = std::move(fn);
  uv_timer_start(
      &block_->timer,
      [](uv_timer_t* t) {
        auto* b = static_cast<Block*>(t->data);
        if (b->owner == nullptr) return;
        // A copy, so the handler may re-arm or destroy its own timer.
        std::function<void()> fn = b->fn;
        guarded(fn);
      },
      ms, repeat_ms);
  loop_.Kick();
}

void TTimer::Stop() {
  uv_timer_stop(&block_->timer);
}

bool TTimer::Active() const {
  return uv_is_active(reinterpret_cast<const uv_handle_t*>(&block_->timer)) != 0;
}

// ---- TDnsLookup -------------------------------------------------------------------------------

struct TDnsLookup::Request {
  uv_getaddrinfo_t req;
  TDnsLookup* owner;
  Callback fn;
};

TDnsLookup::TDnsLookup(TEventLoop& loop) : loop_(loop) {}

TDnsLookup::~TDnsLookup() {
  Cancel();
}

int TDnsLookup::Start(const std::string& host, Callback fn) {
  Cancel();
  const TNameResolver& resolve = nameresolver();
  // Text with a bracket or a colon is a damaged address (a numeric one never gets here), not a
  // name: it is not found, and no name server is asked about it.
  const bool damaged = host.find_first_of("[]:") != std::string::npos;
  if (resolve || damaged) {
    std::vector<std::string> addresses;
    int error = damaged ? 11001 : resolve(host, addresses);
    if (!fixed_) fixed_ = std::make_unique<TNoticeTarget>(loop_);
    fixedpending_ = true;
    fixed_->Post([this, error, addresses, fn = std::move(fn)] {
      if (!fixedpending_) return;
      fixedpending_ = false;
      guarded([&] { fn(error, addresses); });
    });
    return 0;
  }
  auto* r = new Request{};
  r->owner = this;
  r->fn = std::move(fn);
  r->req.data = r;
  struct addrinfo hints {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  int rc = uv_getaddrinfo(loop_.uv(), &r->req, &TDnsLookup::Done, host.c_str(), nullptr, &hints);
  if (rc != 0) {
    delete r;
    return wsaerrorfromuv(rc);
  }
  req_ = r;
  loop_.Kick();
  return 0;
}

bool TDnsLookup::Cancel() {
  if (fixedpending_) {
    fixedpending_ = false;
    return true;
  }
  if (req_ == nullptr) return false;
  req_->owner = nullptr;
  // If the worker has not picked it up yet this removes it; otherwise Done frees it later.
  uv_cancel(reinterpret_cast<uv_req_t*>(&req_->req));
  req_ = nullptr;
  return true;
}

void TDnsLookup::Done(uv_getaddrinfo_t* req, int status, struct addrinfo* res) {
  auto* r = static_cast<Request*>(req->data);
  if (r->owner != nullptr) {
    r->owner->req_ = nullptr;
    std::vector<std::string> addresses;
    if (status == 0) {
      for (auto* ai = res; ai != nullptr && addresses.size() < 256; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        auto* sin = reinterpret_cast<sockaddr_in*>(ai->ai_addr);
        inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
        addresses.emplace_back(text);
      }
    }
    int error = status == 0 ? (addresses.empty() ? 11004 : 0) : wsaerrorfromuv(status);
    Callback fn = std::move(r->fn);
    guarded([&] { fn(error, addresses); });
  }
  if (res != nullptr) uv_freeaddrinfo(res);
  delete r;
}
