// The one header through which the bootstrapper reaches the platform. On
// Windows it is the SDK itself; elsewhere it is this project's own
// declarations of exactly the subset the bootstrapper uses, with the same
// names, types and values, implemented for real under src/platform/linux.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winternl.h>
#include <sddl.h>
#include <aclapi.h>
#include <winhttp.h>
#include <bcrypt.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <cwchar>
#include <cwctype>
#else
#include "linux/win_types.h"
#include "linux/winerror.h"
#include "linux/kernel32.h"
#include "linux/ntdll.h"
#include "linux/advapi32.h"
#include "linux/user32.h"
#include "linux/crt.h"
#include "linux/bcrypt.h"
#include "linux/winhttp.h"
#include "linux/wincrypt.h"
#include "linux/wintrust.h"
#endif
