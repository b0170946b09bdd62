#pragma once
// Platform errors carried as the Winsock numbers the logs have always shown ("host not found" is
// 11001 everywhere), and the socket layer's text for each number.

#include <string>

// errno value -> Winsock number (0 stays 0; an errno without a counterpart becomes 10000 + errno).
int wsaerrorfromerrno(int err);
// getaddrinfo result (EAI_*) -> Winsock number (EAI_NONAME is 11001; EAI_SYSTEM uses errno).
int wsaerrorfromgai(int eai);
// Negative libuv status (a negated errno or UV_EAI_*) -> Winsock number.
int wsaerrorfromuv(int uverr);

// The socket layer's description of a Winsock number; "Not a WinSock error" for any other code.
std::string ErrorDesc(int code);
