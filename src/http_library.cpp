#include "http_library.h"

#include <dlfcn.h>

namespace {

// Sets `function` to the library's function `name`; when the library has none, names it in
// `missing` (unless an earlier one is named there already).
template <typename Function>
void find_function(void* handle, const char* name, Function& function, const char*& missing) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  if (function == nullptr && missing == nullptr) {
    missing = name;
  }
}

// The name of the first function that `handle` lacks, or nullptr when it has them all.
const char* find_functions(void* handle, http_library& f) {
  const char* missing = nullptr;
  find_function(handle, "MHD_start_daemon", f.start_daemon, missing);
  find_function(handle, "MHD_stop_daemon", f.stop_daemon, missing);
  find_function(handle, "MHD_lookup_connection_value", f.lookup_connection_value, missing);
  find_function(handle, "MHD_queue_response", f.queue_response, missing);
  find_function(handle, "MHD_suspend_connection", f.suspend_connection, missing);
  find_function(handle, "MHD_resume_connection", f.resume_connection, missing);
  find_function(handle, "MHD_create_response_from_buffer", f.create_response_from_buffer, missing);
  find_function(handle, "MHD_create_response_from_callback", f.create_response_from_callback,
                missing);
  find_function(handle, "MHD_create_response_from_fd_at_offset64",
                f.create_response_from_fd_at_offset64, missing);
  find_function(handle, "MHD_add_response_header", f.add_response_header, missing);
  find_function(handle, "MHD_destroy_response", f.destroy_response, missing);
  return missing;
}

}  // namespace

std::optional<http_library> open_http_library(const char* name, std::string& error) {
  const std::string cannot = std::string("cannot serve: the HTTP library ") + name;
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    error = cannot + " could not be loaded (" + dlerror() + ")";
    return std::nullopt;
  }
  http_library functions;
  if (const char* missing = find_functions(handle, functions)) {
    error = cannot + " lacks the function " + missing;
    dlclose(handle);
    return std::nullopt;
  }
  return functions;
}

const http_library* preview_http_library(std::string& error) {
  static std::string opening_error;
  static const std::optional<http_library> library =
      open_http_library(ORVELLO_HTTP_LIBRARY, opening_error);
  error = opening_error;
  return library ? &*library : nullptr;
}
