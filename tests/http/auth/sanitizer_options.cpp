// Sanitizer settings of the binaries that load the system NTLM package:
// gss-ntlmssp 1.2 fetches the MD4 digest from OpenSSL for every password hash
// and never frees it. Only full stacks reach its frames, so the fast unwinder
// is off here. Unused outside the sanitizer build.
extern "C" const char* __lsan_default_suppressions() { return "leak:gssntlmssp.so\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
