// The HTTP library's functions that the preview server calls. The library is opened when
// `orvello serve` starts rather than linked: with the libraries it loads in turn it costs every
// other run, check and build about a millisecond before main.
#pragma once

#include <microhttpd.h>

#include <optional>
#include <string>

// The functions the preview server calls, each named as in the library without its MHD_ prefix.
struct http_library {
  decltype(&MHD_start_daemon) start_daemon = nullptr;
  decltype(&MHD_stop_daemon) stop_daemon = nullptr;
  decltype(&MHD_lookup_connection_value) lookup_connection_value = nullptr;
  decltype(&MHD_queue_response) queue_response = nullptr;
  decltype(&MHD_suspend_connection) suspend_connection = nullptr;
  decltype(&MHD_resume_connection) resume_connection = nullptr;
  decltype(&MHD_create_response_from_buffer) create_response_from_buffer = nullptr;
  decltype(&MHD_create_response_from_callback) create_response_from_callback = nullptr;
  decltype(&MHD_create_response_from_fd_at_offset64) create_response_from_fd_at_offset64 = nullptr;
  decltype(&MHD_add_response_header) add_response_header = nullptr;
  decltype(&MHD_destroy_response) destroy_response = nullptr;
};

// Opens the shared library `name` and finds the functions in it; nothing, with `error` naming the
// library and the cause, when it cannot be opened or lacks one of them.
std::optional<http_library> open_http_library(const char* name, std::string& error);

// The functions of the library the program was built against, opened on the first call and kept
// for the life of the process; nullptr, with `error` saying why, when they cannot be had.
const http_library* preview_http_library(std::string& error);
