#pragma once
// TRxStampKeeper: keeps the kernel's receive timestamping switched on while a test runs.
//
// The kernel stamps arriving packets only while some socket has asked for it, and it switches
// the stamping on later, from a work queue, not inside the setsockopt that asks: the first
// answers of a test, or of a run after every connection of the last one has closed, would come
// unstamped. This UDP socket on loopback asks once and stays open, and Ready waits until a
// datagram it sends itself comes back stamped.

class TRxStampKeeper {
 public:
  TRxStampKeeper();
  ~TRxStampKeeper();
  TRxStampKeeper(const TRxStampKeeper&) = delete;
  TRxStampKeeper& operator=(const TRxStampKeeper&) = delete;

  // Whether the kernel stamps now; waits for it at most timeoutms milliseconds (blocking, once:
  // afterwards it answers at once). False when it refuses or never starts.
  bool Ready(int timeoutms);

 private:
  bool probe();

  int fd_ = -1;
  bool ready_ = false;
};
