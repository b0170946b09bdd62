#pragma once
// TNamedEvent: one named event (OnDataAvailable, OnRequestDone, ...) of an object whose events go
// to a single handler interface. The callables themselves live in the object's adapter, a handler
// that forwards to them, made on the first assignment: an object whose events nobody names
// carries no callable at all.
//
// All named events of an object are the members of one anonymous union, each holding nothing but
// the owner's address, so together they cost one pointer. They only ever read that pointer, which
// is the common initial sequence of every member, so whichever member was written last, reading
// it through any other is defined.
//
// The owner provides NamedEvents() (the adapter, made on demand) and FindNamedEvents() (the
// adapter or nullptr), usually by deriving from TEventTarget.

#include <cstddef>
#include <memory>
#include <utility>

// What an object's events go to: one handler, and the object's named-events adapter once a named
// event is assigned. The adapter then fires in the handler's place and passes on to the handler
// (Events::Next) what no assigned callable takes.
template <typename THandler, typename TEvents>
class TEventTarget {
 public:
  // The handler that takes the events (nullptr: none); not owned, and must outlive the object or
  // be replaced first. Named events that are assigned take precedence over it.
  THandler* Handler() const { return events_ ? events_->Next : handler_; }
  void SetHandler(THandler* handler) {
    if (events_) {
      events_->Next = handler;
    } else {
      handler_ = handler;
    }
  }
  TEvents& NamedEvents() {
    if (!events_) {
      events_ = std::make_unique<TEvents>();
      events_->Next = handler_;
      handler_ = events_.get();
    }
    return *events_;
  }
  TEvents* FindNamedEvents() const { return events_.get(); }

 protected:
  THandler* handler_ = nullptr;      // what fires: the adapter when there is one
  std::unique_ptr<TEvents> events_;  // the named events, made on first use
};

template <typename T>
struct TNamedEventMember;
template <typename C, typename M>
struct TNamedEventMember<M C::*> {
  using Adapter = C;
  using Fn = M;
};

// Member: the callable in the adapter, e.g. &TSocketEvents::OnDataAvailable.
template <typename Owner, auto Member>
struct TNamedEvent {
  using Adapter = typename TNamedEventMember<decltype(Member)>::Adapter;
  using Fn = typename TNamedEventMember<decltype(Member)>::Fn;

  Owner* owner;

  TNamedEvent& operator=(const TNamedEvent&) = delete;
  TNamedEvent& operator=(Fn fn) {
    owner->NamedEvents().*Member = std::move(fn);
    return *this;
  }
  TNamedEvent& operator=(std::nullptr_t) {
    if (Adapter* a = owner->FindNamedEvents()) a->*Member = nullptr;
    return *this;
  }
  // Whether a callable is assigned.
  explicit operator bool() const {
    const Adapter* a = owner->FindNamedEvents();
    return a != nullptr && static_cast<bool>(a->*Member);
  }
  // A copy of the callable (empty when none is assigned).
  Fn Get() const {
    const Adapter* a = owner->FindNamedEvents();
    return a != nullptr ? a->*Member : Fn();
  }
  // Calls the assigned callable; std::bad_function_call when none is, as the callable would.
  template <typename... Args>
  void operator()(Args&&... args) const {
    Get()(std::forward<Args>(args)...);
  }
};
