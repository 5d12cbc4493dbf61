// User32's message box, the bootstrapper's only dialog.
#pragma once

#include "win_types.h"

#define MB_OKCANCEL 0x00000001u
#define MB_ICONERROR 0x00000010u
#define MB_ICONINFORMATION 0x00000040u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TYPEMASK 0x0000000Fu
#define IDOK 1
#define IDCANCEL 2

extern "C" int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
