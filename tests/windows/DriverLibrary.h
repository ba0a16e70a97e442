#ifndef TQ7310_TESTS_WINDOWS_DRIVERLIBRARY_H
#define TQ7310_TESTS_WINDOWS_DRIVERLIBRARY_H
// The driver library loaded at run time and its C names resolved one by one,
// the way the panel uses it; so a name missing from the export table fails
// here as it would there. Builds for Windows (LoadLibrary) and for Linux
// (dlopen), so one program measures both.
#include <string>
#include <type_traits>

#include "ModbusRTU.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

struct DriverLibrary {
    decltype(&OpenPort_Modbus) OpenPort = nullptr;
    decltype(&ClosePort_Modbus) ClosePort = nullptr;
    decltype(&Get_1X_B16) Get1X = nullptr;
    decltype(&Get_0X_B16) Get0X = nullptr;
    decltype(&Get_3X_UnDX) Get3X = nullptr;
    decltype(&Get_4X_UnDX) Get4X = nullptr;
    decltype(&Get_3X_LUNDX) Get3XL = nullptr;
    decltype(&Set_0X_Bit1) SetCoil = nullptr;
    decltype(&Rst_0X_Bit1) ResetCoil = nullptr;
    decltype(&Set_4X_D1) SetRegister = nullptr;
    decltype(&TQ7310_GetLinkStatus) GetLinkStatus = nullptr;
    decltype(&TQ7310_ReadTraffic) ReadTraffic = nullptr;
    decltype(&TQ7310_ReadRegisters) ReadRegisters = nullptr;

    // Returns an empty string, or what could not be loaded or found.
    std::string load(const char* path) {
#if defined(_WIN32)
        HMODULE module = LoadLibraryA(path);
        if (module == nullptr) {
            return std::string("cannot load ") + path;
        }
        auto find = [module](const char* name) {
            return reinterpret_cast<void*>(GetProcAddress(module, name));
        };
#else
        void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            return dlerror();
        }
        auto find = [module](const char* name) { return dlsym(module, name); };
#endif
        std::string missing;
        auto resolve = [&](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(find(name));
            if (slot == nullptr) {
                missing += std::string(" ") + name;
            }
        };
        resolve(OpenPort, "OpenPort_Modbus");
        resolve(ClosePort, "ClosePort_Modbus");
        resolve(Get1X, "Get_1X_B16");
        resolve(Get0X, "Get_0X_B16");
        resolve(Get3X, "Get_3X_UnDX");
        resolve(Get4X, "Get_4X_UnDX");
        resolve(Get3XL, "Get_3X_LUNDX");
        resolve(SetCoil, "Set_0X_Bit1");
        resolve(ResetCoil, "Rst_0X_Bit1");
        resolve(SetRegister, "Set_4X_D1");
        resolve(GetLinkStatus, "TQ7310_GetLinkStatus");
        resolve(ReadTraffic, "TQ7310_ReadTraffic");
        resolve(ReadRegisters, "TQ7310_ReadRegisters");
        return missing.empty() ? std::string() : "not exported:" + missing;
    }

    Tq7310LinkStatus status(int32_t port) const {
        Tq7310LinkStatus s{};
        s.outcome = -1;
        GetLinkStatus(port, &s);
        return s;
    }
};

#endif
