// Result codes that our non-Windows platform layers hand back, with the values
// Windows gives them, so that callers see what they would see on Windows.
#pragma once

#include "platform/platform.h"

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr CONFIGRET CR_OUT_OF_MEMORY = 0x02;
constexpr CONFIGRET CR_INVALID_POINTER = 0x03;
constexpr CONFIGRET CR_INVALID_FLAG = 0x04;
constexpr CONFIGRET CR_BUFFER_SMALL = 0x1A;
constexpr CONFIGRET CR_INVALID_DEVICE_ID = 0x1E;
constexpr ULONG CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES = 0x1;

constexpr DWORD GENERIC_WRITE = 0x40000000;

constexpr DWORD ERROR_SUCCESS = 0x00;
constexpr DWORD ERROR_INVALID_FUNCTION = 0x01;
constexpr DWORD ERROR_FILE_NOT_FOUND = 0x02;
constexpr DWORD ERROR_PATH_NOT_FOUND = 0x03;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 0x04;
constexpr DWORD ERROR_ACCESS_DENIED = 0x05;
constexpr DWORD ERROR_INVALID_HANDLE = 0x06;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 0x08;
constexpr DWORD ERROR_INVALID_DATA = 0x0D;
constexpr DWORD ERROR_NOT_READY = 0x15;
constexpr DWORD ERROR_READ_FAULT = 0x1E;
constexpr DWORD ERROR_INVALID_PARAMETER = 0x57;
constexpr DWORD ERROR_OPEN_FAILED = 0x6E;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 0x7A;
constexpr DWORD ERROR_INVALID_NAME = 0x7B;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 0xCE;
