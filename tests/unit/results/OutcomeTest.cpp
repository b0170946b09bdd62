#include "results/Outcome.h"

#include <gtest/gtest.h>

// The server is judged only by what it answered: the operator's abort and this machine's own
// failures arrive as 404 with a socket code, and must not read as the server's errors.
TEST(Outcome, ClassesFromStatusAndSocketCode) {
  EXPECT_EQ(outcomeof(200, 0), ocOk);
  EXPECT_EQ(outcomeof(0, 0), ocTimeout);
  EXPECT_EQ(outcomeof(0, 10054), ocTimeout);
  EXPECT_EQ(outcomeof(500, 0), ocError);
  EXPECT_EQ(outcomeof(404, 10061), ocError);  // refused: the server's side is not there
  EXPECT_EQ(outcomeof(404, 11001), ocError);  // host not found
  EXPECT_EQ(outcomeof(404, kAbortedSocketCode), ocAborted);
  EXPECT_EQ(outcomeof(404, 10024), ocClientError);
  EXPECT_EQ(outcomeof(404, 10049), ocClientError);
  EXPECT_EQ(outcomeof(404, 10055), ocClientError);
  EXPECT_FALSE(isclientfailure(0));
  EXPECT_FALSE(isclientfailure(10060));
}
