/*
 * probe.cpp - a second process for the stand-in's tests.
 *   standin_probe version             prints the platform id, or "fail"
 *   standin_probe regget KEY NAME     prints "TYPE:DATA" of an HKCU value,
 *                                     or "error:CODE"
 *   standin_probe regset KEY PREFIX N writes REG_SZ values PREFIX0..PREFIXN-1
 *                                     (data "vI" with its zero), one
 *                                     open/write/close each; prints "ok"
 */
#include "platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "version") == 0) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (GetVersionExA(&info))
      std::printf("%lu\n", static_cast<unsigned long>(info.dwPlatformId));
    else
      std::printf("fail\n");
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "regget") == 0) {
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, argv[2], 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) {
      std::printf("error:%ld\n", static_cast<long>(rc));
      return 0;
    }
    char data[256];
    DWORD size = sizeof data, type = 0;
    rc = RegQueryValueExA(key, argv[3], nullptr, &type, reinterpret_cast<LPBYTE>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
      std::printf("error:%ld\n", static_cast<long>(rc));
      return 0;
    }
    std::printf("%lu:%.*s\n", static_cast<unsigned long>(type), static_cast<int>(strnlen(data, size)),
                data);
    return 0;
  }
  if (argc >= 5 && std::strcmp(argv[1], "regset") == 0) {
    int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) {
      HKEY key;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, argv[2], 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        std::printf("create failed\n");
        return 1;
      }
      std::string name = argv[3] + std::to_string(i);
      std::string data = "v" + std::to_string(i);
      LONG rc = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE *>(data.c_str()),
                               static_cast<DWORD>(data.size() + 1));
      RegCloseKey(key);
      if (rc != ERROR_SUCCESS) {
        std::printf("set failed %ld\n", static_cast<long>(rc));
        return 1;
      }
    }
    std::printf("ok\n");
    return 0;
  }
  std::fprintf(stderr, "usage: standin_probe version | regget KEY NAME | regset KEY PREFIX N\n");
  return 2;
}
