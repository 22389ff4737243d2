#pragma once

// Owners of GSSAPI objects: each releases its handle with the matching
// gss_release_* call, so no failure path can leak a name, credential,
// context, buffer or OID set.

#include <gssapi/gssapi.h>

#include <cstddef>

namespace corvane::auth::gss {

template <typename T, T kNone, OM_uint32 (*ReleaseFn)(OM_uint32*, T*)>
class Handle {
 public:
  Handle() = default;
  ~Handle() { Release(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  T get() const noexcept { return handle_; }
  // For the calls that create the object; the old one is released first.
  T* out() noexcept {
    Release();
    return &handle_;
  }
  // For the calls that continue with the object (gss_init_sec_context).
  T* inout() noexcept { return &handle_; }
  void Release() noexcept {
    if (handle_ == kNone) return;
    OM_uint32 minor = 0;
    ReleaseFn(&minor, &handle_);
    handle_ = kNone;
  }

 private:
  T handle_ = kNone;
};

inline OM_uint32 DeleteContext(OM_uint32* minor, gss_ctx_id_t* context) {
  return gss_delete_sec_context(minor, context, GSS_C_NO_BUFFER);
}

using Name = Handle<gss_name_t, GSS_C_NO_NAME, gss_release_name>;
using Credential = Handle<gss_cred_id_t, GSS_C_NO_CREDENTIAL, gss_release_cred>;
using Context = Handle<gss_ctx_id_t, GSS_C_NO_CONTEXT, DeleteContext>;
using OidSet = Handle<gss_OID_set, GSS_C_NO_OID_SET, gss_release_oid_set>;

// An output buffer filled by the library.
class Buffer {
 public:
  Buffer() = default;
  ~Buffer() { Release(); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  gss_buffer_t out() noexcept {
    Release();
    return &buffer_;
  }
  const char* data() const noexcept { return static_cast<const char*>(buffer_.value); }
  size_t size() const noexcept { return buffer_.length; }
  void Release() noexcept {
    if (buffer_.value == nullptr) return;
    OM_uint32 minor = 0;
    gss_release_buffer(&minor, &buffer_);
    buffer_ = GSS_C_EMPTY_BUFFER;
  }

 private:
  gss_buffer_desc buffer_ = GSS_C_EMPTY_BUFFER;
};

}  // namespace corvane::auth::gss
