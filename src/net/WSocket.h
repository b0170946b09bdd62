#pragma once
// TWSocket: a non-blocking TCP (or UDP) socket whose network events arrive from the event loop on
// the thread that runs it, so thousands of connections share one thread and nothing ever blocks.
//
// Properties are read with Name() and written with SetName(v). Addr, Port, Proto and LocalPort
// refuse a change unless the socket is wsClosed (ReportError "Cannot change <Name> if not
// closed"); their values are trimmed and an empty value unassigns. Events go to one handler
// (TSocketHandler), each through a virtual Fire… operation; the named events (OnDataAvailable, ...)
// are optional callables on top of it, for callers that want a function per event.
// Errors are Winsock numbers (10061 connection refused, 11001 host not found, ...).
//
// Misuse and synchronous failures raise ESocketException (or fire OnError instead when it is
// assigned); network failures arrive later as the Error argument of an event.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/NamedEvent.h"
#include "net/ErrorCodes.h"
#include "net/EventLoop.h"
#include "net/SocketBuffer.h"
#include "net/SocketResolve.h"

enum TSocketState {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TWSocket;
using TDataAvailable = std::function<void(TWSocket* Sender, uint16_t Error)>;
using TDataSent = std::function<void(TWSocket* Sender, uint16_t Error)>;
using TSessionClosed = std::function<void(TWSocket* Sender, uint16_t Error)>;
using TSessionAvailable = std::function<void(TWSocket* Sender, uint16_t Error)>;
using TSessionConnected = std::function<void(TWSocket* Sender, uint16_t Error)>;
using TDnsLookupDone = std::function<void(TWSocket* Sender, uint16_t Error)>;
using TChangeState =
    std::function<void(TWSocket* Sender, TSocketState OldState, TSocketState NewState)>;
using TSocketNotify = std::function<void(TWSocket* Sender)>;
using TBgExceptionEvent =
    std::function<void(TWSocket* Sender, const std::exception& E, bool& CanClose)>;

// Receives the events of sockets. One handler may serve any number of sockets: each call names
// its socket. A handler may destroy the socket inside any event; the socket then touches nothing
// of itself afterwards. The defaults do nothing, and the three that return a value answer "not
// taken", with which the socket behaves as if nobody listened.
class TSocketHandler {
 public:
  virtual ~TSocketHandler() = default;
  // Data (or the peer's close) can be read. Returns whether the handler took them; otherwise the
  // socket reads and drops them.
  virtual bool SocketDataAvailable(TWSocket* /*Sender*/, uint16_t /*Error*/) { return false; }
  // Every buffered byte was handed over; never inside Send.
  virtual void SocketDataSent(TWSocket* /*Sender*/, uint16_t /*Error*/) {}
  // The connection closed, whoever closed it. Returns whether the handler took it: a close that
  // was taken is not reported again for the same connection.
  virtual bool SocketSessionClosed(TWSocket* /*Sender*/, uint16_t /*Error*/) { return false; }
  // A listening socket has a connection to Accept.
  virtual void SocketSessionAvailable(TWSocket* /*Sender*/, uint16_t /*Error*/) {}
  // The connect finished: 0 or the failure (10061 ...).
  virtual void SocketSessionConnected(TWSocket* /*Sender*/, uint16_t /*Error*/) {}
  // DnsLookup/AddressLookup finished (10004: cancelled).
  virtual void SocketDnsLookupDone(TWSocket* /*Sender*/, uint16_t /*Error*/) {}
  // Every state change, also to the same state.
  virtual void SocketChangeState(TWSocket* /*Sender*/, TSocketState /*OldState*/,
                                 TSocketState /*NewState*/) {}
  // ReportError's report. Returns whether the handler took it; otherwise ReportError throws.
  virtual bool SocketError(TWSocket* /*Sender*/) { return false; }
  // A handler run from the loop threw; CanClose (true on entry) lets the socket Abort.
  virtual void SocketBgException(TWSocket* /*Sender*/, const std::exception& /*E*/,
                                 bool& /*CanClose*/) {}
};

// The named events of a socket: a handler that calls the callable assigned to an event, and
// passes each event that has none on to Next (the handler set with SetHandler), so the two
// combine. A socket makes it when one of its named events is first assigned.
class TSocketEvents final : public TSocketHandler {
 public:
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSessionClosed OnSessionClosed;
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TDnsLookupDone OnDnsLookupDone;
  TChangeState OnChangeState;
  TSocketNotify OnError;
  TBgExceptionEvent OnBgException;
  TSocketHandler* Next = nullptr;

  // A callable may destroy the socket, and with it this adapter: nothing here is touched after
  // a call.
  bool SocketDataAvailable(TWSocket* Sender, uint16_t Error) override {
    if (!OnDataAvailable) return Next != nullptr && Next->SocketDataAvailable(Sender, Error);
    OnDataAvailable(Sender, Error);
    return true;
  }
  void SocketDataSent(TWSocket* Sender, uint16_t Error) override {
    if (OnDataSent) {
      OnDataSent(Sender, Error);
    } else if (Next != nullptr) {
      Next->SocketDataSent(Sender, Error);
    }
  }
  bool SocketSessionClosed(TWSocket* Sender, uint16_t Error) override {
    if (!OnSessionClosed) return Next != nullptr && Next->SocketSessionClosed(Sender, Error);
    OnSessionClosed(Sender, Error);
    return true;
  }
  void SocketSessionAvailable(TWSocket* Sender, uint16_t Error) override {
    if (OnSessionAvailable) {
      OnSessionAvailable(Sender, Error);
    } else if (Next != nullptr) {
      Next->SocketSessionAvailable(Sender, Error);
    }
  }
  void SocketSessionConnected(TWSocket* Sender, uint16_t Error) override {
    if (OnSessionConnected) {
      OnSessionConnected(Sender, Error);
    } else if (Next != nullptr) {
      Next->SocketSessionConnected(Sender, Error);
    }
  }
  void SocketDnsLookupDone(TWSocket* Sender, uint16_t Error) override {
    if (OnDnsLookupDone) {
      OnDnsLookupDone(Sender, Error);
    } else if (Next != nullptr) {
      Next->SocketDnsLookupDone(Sender, Error);
    }
  }
  void SocketChangeState(TWSocket* Sender, TSocketState OldState, TSocketState NewState) override {
    if (OnChangeState) {
      OnChangeState(Sender, OldState, NewState);
    } else if (Next != nullptr) {
      Next->SocketChangeState(Sender, OldState, NewState);
    }
  }
  bool SocketError(TWSocket* Sender) override {
    if (!OnError) return Next != nullptr && Next->SocketError(Sender);
    OnError(Sender);
    return true;
  }
  void SocketBgException(TWSocket* Sender, const std::exception& E, bool& CanClose) override {
    if (OnBgException) {
      OnBgException(Sender, E, CanClose);
    } else if (Next != nullptr) {
      Next->SocketBgException(Sender, E, CanClose);
    }
  }
};

class TWSocket : private TFdWatchHandler, public TEventTarget<TSocketHandler, TSocketEvents> {
 public:
  static constexpr int INVALID_SOCKET = -1;

  explicit TWSocket(TEventLoop& loop = TEventLoop::Default());
  // Cancels a lookup and closes the connection without firing any event.
  ~TWSocket() override;
  TWSocket(const TWSocket&) = delete;
  TWSocket& operator=(const TWSocket&) = delete;

  // ---- Events ----
  // Handler() and SetHandler(): the handler that takes the socket's events. The named events, each
  // optional; assigning one makes the socket's TSocketEvents. See TSocketHandler for what each
  // means.
  template <auto Member>
  using TEvent = TNamedEvent<TWSocket, Member>;
  union {
    TEvent<&TSocketEvents::OnDataAvailable> OnDataAvailable;
    TEvent<&TSocketEvents::OnDataSent> OnDataSent;            // never inside Send
    TEvent<&TSocketEvents::OnSessionClosed> OnSessionClosed;  // exactly once per connection
    TEvent<&TSocketEvents::OnSessionAvailable> OnSessionAvailable;
    TEvent<&TSocketEvents::OnSessionConnected> OnSessionConnected;
    TEvent<&TSocketEvents::OnDnsLookupDone> OnDnsLookupDone;
    TEvent<&TSocketEvents::OnChangeState> OnChangeState;
    TEvent<&TSocketEvents::OnError> OnError;              // replaces the exception of ReportError
    TEvent<&TSocketEvents::OnBgException> OnBgException;  // CanClose -> Abort
  };

  // ---- Properties ----
  const std::string& Addr() const { return addr_; }
  void SetAddr(const std::string& value);  // remote address or host name
  const std::string& Port() const { return port_; }
  virtual void SetPort(const std::string& value);  // remote port number or service name
  const std::string& Proto() const { return proto_; }
  virtual void SetProto(const std::string& value);  // "tcp", "udp" or a protocol number
  const std::string& LocalPort() const { return localport_; }
  void SetLocalPort(const std::string& value);  // "0" = any; after binding the port bound
  // First address (dotted, or IPv6 text without brackets) or host name found by the last lookup.
  const std::string& DnsResult() const { return dnsresult_; }
  // All addresses found by the last lookup (at most 256).
  const std::vector<std::string>& DnsResultList() const;
  TSocketState State() const { return state_; }
  // Bytes received by Receive since the last reset of the defaults.
  int64_t ReadCount() const { return readcount_; }
  // Bytes waiting in the platform's receive buffer (FIONREAD), -1 on error.
  virtual int RcvdCount();
  // Last platform error (Winsock number), 0 after a successful Receive.
  int LastError() const { return lasterror_; }
  // Both settings run the event loop's ProcessMessages in waiting operations.
  bool MultiThreaded() const { return multithreaded_; }
  void SetMultiThreaded(bool value) { multithreaded_ = value; }
  // Seconds Flush waits at most for the platform to accept the buffered data.
  int FlushTimeout() const { return flushtimeout_; }
  void SetFlushTimeout(int value) { flushtimeout_ = value; }
  TSocketSendFlags SendFlags() const { return sendflags_; }
  void SetSendFlags(int value);  // ReportError "Invalid SendFlags" for anything but the two
  TSocketLingerOnOff LingerOnOff() const { return lingeronoff_; }
  void SetLingerOnOff(TSocketLingerOnOff value) { lingeronoff_ = value; }
  int LingerTimeout() const { return lingertimeout_; }  // seconds, 0..65535
  void SetLingerTimeout(int value) { lingertimeout_ = value; }
  // The platform handle, INVALID_SOCKET while closed.
  int HSocket() const { return hsocket_; }
  TEventLoop& Loop() const { return loop_; }
  // Send chunks currently held and the bytes not yet handed to the platform.
  int BufferedChunks() const { return sendbuffers_.Chunks(); }
  int64_t BufferedBytes() const { return sendbuffers_.Bytes(); }
  // Kernel receive timestamps for TCP: with on (default off), Connect asks the kernel to stamp
  // arriving segments in software (SO_TIMESTAMPING), and each Receive reports the stamp of the
  // latest segment it read. Read at Connect; a kernel that refuses leaves RxStamping() false.
  bool RxTimestamps() const { return rxtimestamps_; }
  void SetRxTimestamps(bool value) { rxtimestamps_ = value; }
  // The kernel accepted receive timestamps for the current (or last) connection.
  bool RxStamping() const { return rxstamping_; }
  // CLOCK_REALTIME nanoseconds at which the kernel received the latest segment that the last
  // Receive read; 0 when it gave none.
  int64_t LastRxStamp() const { return lastrxstamp_; }
  // CLOCK_MONOTONIC nanoseconds at which a send call last returned having handed the platform
  // every byte buffered so far (taken right after the call), and at which that call began; 0
  // before the first.
  int64_t LastSendDone() const { return lastsenddone_; }
  int64_t LastSendBegan() const { return lastsendbegan_; }

  // ---- Client side ----
  // Looks HostName up. A dotted address or an IPv6 literal ("::1" or "[::1]") fires
  // OnDnsLookupDone(0) inside the call; a name fires it later, from the loop, with 0 or the error
  // (11001 host not found ...). An empty name is ReportError "DNS lookup: invalid host name."
  // followed (with OnError) by OnDnsLookupDone(10022).
  virtual void DnsLookup(const std::string& HostName);
  // Looks up the host name of a dotted address; the name becomes DnsResult. Fires later.
  virtual void AddressLookup(const std::string& Address);
  // Cancels a pending lookup and fires OnDnsLookupDone(10004) (not while being destroyed).
  virtual void CancelLookup();
  // Starts connecting to Addr:Port; the outcome arrives later as OnSessionConnected.
  virtual void Connect();
  // Buffers and sends len bytes; returns len (0 for len <= 0), -1 after an error with OnError.
  // May fire OnSessionClosed inside the call (send error); OnDataSent always fires later.
  virtual int Send(const void* Data, int Len);
  int SendString(const std::string& Str);
  // One read (recvmsg) of at most BufferSize bytes: the count (0 when the peer has closed) or -1
  // with LastError set (10035 when nothing waits). Sets LastRxStamp.
  virtual int Receive(void* Buffer, int BufferSize);
  // Reads the RcvdCount bytes that wait (empty when nothing waits).
  std::string ReceiveString();
  // UDP: one recvfrom; From receives the sender's address.
  virtual int ReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From);
  // Shuts the connection down for sending and closes it; fires OnSessionClosed(0) unless already
  // fired for this connection. With the default linger (on, 0 s) the peer then sees a reset.
  virtual void Close();
  // Cancels a lookup, drops buffered data and closes at once with a reset.
  virtual void Abort();
  // Platform shutdown (0 receiving, 1 sending, 2 both) while the handle is valid.
  void Shutdown(int How);
  // Waits, running ProcessMessages, until the buffered data are handed over (or the connection
  // ends, or FlushTimeout seconds pass).
  virtual void Flush();
  // Dotted (or IPv6) address of the peer; "error" when not connected.
  std::string PeerAddress();
  // Local port as decimal text while bound, connected or listening; else "error".
  std::string LocalPortText();
  // Stops all notifications of this socket / restores them.
  void Pause();
  void Resume();

  // ---- Server side ----
  // Binds to Addr:Port and listens (TCP) or waits for datagrams (UDP: ends wsConnected).
  virtual void Listen();
  // Accepts a waiting connection: the new non-blocking handle, or -1 with LastError set.
  virtual int Accept();
  // Adopts an accepted handle: state wsConnected, notifications on.
  void Dup(int NewHSocket);

  // ---- Reset and errors ----
  // Defaults of a fresh socket: Proto "tcp", Addr and Port unassigned, LocalPort "0", linger on
  // with 0 s, state wsClosed. Events, MultiThreaded, SendFlags and the lookup results are kept.
  virtual void ResetDefaults();
  // Closes the handle (after a shutdown for sending when Shut), state wsClosed, fires
  // OnSessionClosed(Error) once per connection, then resets the defaults.
  virtual void CloseSocketHandle(bool Shut, uint16_t Error);
  // "Error <code> in function <name>" CR LF ErrorDesc(code) through ReportError, LastError = code.
  // 10054 and 10057 close the handle at once (state wsClosed, no OnSessionClosed).
  void RaiseSocketError(const std::string& FunctionName, int ErrCode);
  // Fires OnError when assigned; otherwise throws ESocketException(Msg).
  virtual void ReportError(const std::string& Msg);

 protected:
  // Event firing; each does nothing without a handler.
  // Returns whether a handler took the data (otherwise the socket discards them).
  virtual bool FireDataAvailable(uint16_t Error);
  virtual void FireSessionAvailable(uint16_t Error);
  virtual void FireSessionConnected(uint16_t Error);
  // Returns whether a handler took the close.
  virtual bool FireSessionClosed(uint16_t Error);
  virtual void FireDataSent(uint16_t Error);
  virtual void FireChangeState(TSocketState OldState, TSocketState NewState);
  virtual void FireDnsLookupDone(uint16_t Error);
  // Returns whether a handler took the error (otherwise ReportError throws).
  virtual bool FireError();
  virtual void FireBgException(const std::exception& E, bool& CanClose);
  // An exception escaped a handler run from the loop: OnBgException, then Abort when CanClose.
  virtual void HandleHandlerException(const std::exception& E);
  // Binds to LocalPort on any address and stores the port actually bound; false after an error
  // that OnError took.
  virtual bool BindLocal();
  void ChangeState(TSocketState NewState);
  bool Destroying() const { return destroying_; }

 private:
  struct TReverseLookup;
  friend struct TReverseLookup;
  struct TAliveGuard;

  void FdReady(int status, int events) override;
  void dispatch(int status, int events);
  void connectdone(int error);
  void readloop(uint16_t Error);
  void closedone(uint16_t Error);
  void writedone();
  void trytosend();
  int sendflags() const;
  void sendfailed(int code);
  void senddone(int64_t began);  // the send call that began then handed over the last byte
  void postwritenotice();
  void lookupdone(int error, const std::vector<std::string>& addresses);
  void reversedone(int error, const std::string& name);
  bool cancellookups();
  template <typename F>
  void guardedcall(F&& fn);
  int openwatch(int events, bool edge = false);
  void rearm();
  void updatewatch();
  void resolveall();
  bool openhandle(const char* function);
  bool failsetup(const std::string& function, int code);
  bool setoption(int level, int name, int value, const char* function);
  bool applylinger();
  int sockerror();
  void closehandle();
  void dropsocket();

  TEventLoop& loop_;
  TNoticeTarget notices_;
  TDnsLookup dns_;
  TReverseLookup* revlookup_ = nullptr;
  std::optional<TFdWatch> watch_;
  TSendBufferList sendbuffers_;

  std::string addr_, port_, proto_ = "tcp", localport_ = "0";
  bool addrresolved_ = false, portresolved_ = false, protoresolved_ = true;
  bool localportresolved_ = true;
  TSocketAddress sin_{};  // resolved remote address (IPv4 or IPv6), port in network order
  uint16_t localportnum_ = 0;
  int protonum_ = IPPROTO_TCP;
  int socktype_ = SOCK_STREAM;  // or SOCK_DGRAM, once the protocol is resolved

  std::string dnsresult_;
  mutable std::vector<std::string> dnsresultlist_;
  mutable bool listisresult_ = false;  // the list is just dnsresult_, not yet written out
  bool resultisnumeric_ = false;       // dnsresult_ came from numericresult_, without a lookup
  TSocketAddress numericresult_{};
  TSocketState state_ = wsClosed;
  int hsocket_ = INVALID_SOCKET;
  uint32_t generation_ = 0;  // tells a notice for an earlier handle from one for this handle
  int64_t readcount_ = 0;
  int64_t lastrxstamp_ = 0;
  int64_t lastsenddone_ = 0;
  int64_t lastsendbegan_ = 0;
  uint64_t consumed_ = 0;  // successful receives, to see whether a data handler made progress
  int lasterror_ = 0;
  bool multithreaded_ = false;
  int flushtimeout_ = 60;
  TSocketSendFlags sendflags_ = wsSendNormal;
  TSocketLingerOnOff lingeronoff_ = wsLingerOn;
  int lingertimeout_ = 0;
  bool sendqueueempty_ = true;
  bool closedeventfired_ = false;
  bool paused_ = false;
  bool peerclosed_ = false;
  // The peer's end of the stream had arrived at a readiness of this connection (TFdWatch::PeerFin),
  // and since then a read left room in its buffer: the queue is empty and can never fill again,
  // so the next read returns the end without asking the kernel. Not after our own shutdown for
  // receiving, which looks the same to epoll but lets data still arrive.
  bool finqueued_ = false;
  bool endahead_ = false;
  bool readshut_ = false;
  bool lastreadfull_ = false;  // the last receive filled its buffer: more may wait
  bool resetonclose_ = false;  // linger on with 0 s was applied: the close resets
  bool destroying_ = false;
  bool rxtimestamps_ = false;
  bool rxstamping_ = false;
  bool countedconnection_ = false;  // counted among the process's open connections (PortWindow)
  bool* alive_ = nullptr;           // set by TAliveGuard: cleared when the object is destroyed
};
