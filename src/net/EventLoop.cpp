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
#include "net/Guarded.h"
#include "net/NameResolver.h"

namespace {

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
