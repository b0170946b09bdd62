#pragma once
// One CSV row per completed request, in each run's completion order, under a header line:
// run,user,url,start_ms,wait_ms,ttfb_ms,status,socket,bytes,server_ms,server_ttfb_ms,
// client_error,connect_ms,tls_ms. Times are milliseconds with three decimals; ttfb_ms is empty
// when no document byte arrived, the server times when the kernel gave no stamp, the phases when
// there was no connection or no TLS; client_error is 1 for a request this machine failed itself,
// else 0; a URL is quoted when it must be.

#include <string>

#include "results/RequestRecords.h"

std::string csvreport(const TRequestRecords& records);
