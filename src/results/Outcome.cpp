#include "results/Outcome.h"

bool isclientfailure(int socketcode) {
  switch (socketcode) {
    case 10024:
    case 10048:
    case 10049:
    case 10055:
      return true;
    default:
      return false;
  }
}

TOutcome outcomeof(int status, int socketcode) {
  if (socketcode == kAbortedSocketCode) return ocAborted;
  if (isclientfailure(socketcode)) return ocClientError;
  if (status == 200) return ocOk;
  if (status == 0) return ocTimeout;
  return ocError;
}
