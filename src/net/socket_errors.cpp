#include "net/socket_errors.h"

#include <netdb.h>

#include <cerrno>

namespace corvane {

namespace {

struct ErrnoRow {
  int err;
  int code;
};

// errno -> socket error number.
constexpr ErrnoRow kErrnoRows[] = {
    {EINTR, 10004},        {EBADF, 10009},         {EACCES, 10013},       {EPERM, 10013},
    {EFAULT, 10014},       {EINVAL, 10022},        {EMFILE, 10024},       {ENFILE, 10024},
    {EAGAIN, 10035},       {EINPROGRESS, 10036},   {EALREADY, 10037},     {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},      {EPROTOTYPE, 10041},   {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},  {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},     {ENETUNREACH, 10051},   {ENETRESET, 10052},    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {ENOBUFS, 10055},       {ENOMEM, 10055},       {EISCONN, 10056},
    {ENOTCONN, 10057},     {EPIPE, 10058},         {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061},  {ELOOP, 10062},        {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},  {ENOTEMPTY, 10066},    {EUSERS, 10068},
    {EDQUOT, 10069},       {ESTALE, 10070},        {EREMOTE, 10071},
};

}  // namespace

int SocketErrorFromErrno(int err) noexcept {
#if EWOULDBLOCK != EAGAIN
  if (err == EWOULDBLOCK) return 10035;
#endif
  for (const ErrnoRow& row : kErrnoRows) {
    if (row.err == err) return row.code;
  }
  return err == 0 ? 0 : 10000 + err;
}

int SocketErrorFromEai(int eai, int err) noexcept {
  switch (eai) {
    case 0: return 0;
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return 11004;
#endif
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SERVICE: return 10022;
    case EAI_BADFLAGS: return 10022;
    case EAI_MEMORY: return 10055;
    case EAI_SYSTEM: return err != 0 ? SocketErrorFromErrno(err) : 11003;
    default: return 11003;
  }
}

}  // namespace corvane
