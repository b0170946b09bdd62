// TFdWatch and the event loop's epoll set of sockets.
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

#include "net/EventLoop.h"
#include "net/Guarded.h"

// The sockets' readiness comes from one epoll set of our own, which libuv watches as a single
// descriptor. A libuv poll handle per socket would cost seven epoll_ctl calls and an ioctl per
// connection (its pollability check, and a delete plus add on every change of the mask). A level
// watch costs an add, a modify per change of the mask and a delete; an edge watch costs one add,
// and the descriptor's close takes it out of the set.

namespace {

// EPOLLPRI only so that an event tells when urgent data wait: a read stops short at their mark.
constexpr uint32_t kEdgeMask = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLPRI | EPOLLET;

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
    constexpr uint32_t kEndMask = EPOLLRDHUP | EPOLLHUP | EPOLLERR | EPOLLPRI;
    if (b->edge && (pevents & UV_DISCONNECT) != 0 && (evs[i].events & kEndMask) == EPOLLRDHUP) {
      pevents |= TFdWatch::PeerFin;
    }
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
