#pragma once

#include <QString>

// Where the packages are fetched from: the maker's update FTP server and the packages' path
// on it. The environment can point the program at another server (the demo and the tests
// serve the same tree on loopback).
namespace UpdateServer {

inline constexpr const char* kBuiltInBaseUrl = "ftp://ftp.v770.example/down/FW/V770";
inline constexpr const char* kOverrideVariable = "V770_UPDATE_SERVER";

// The base address without a trailing "/": packages lie under it in "/DB/", "/Voice/" and
// "/FW/". V770_UPDATE_SERVER when set and not empty, the built-in address otherwise.
QString BaseUrl();

}  // namespace UpdateServer
