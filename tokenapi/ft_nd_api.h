#ifndef BIDDER_FT_ND_API_H
#define BIDDER_FT_ND_API_H
/*
 * The USB token vendor's library FT_ND_API: the functions the encryption
 * control calls, declared from the library's documented argument lists. The
 * control links against it at load time (on Windows through the import
 * library made from FT_ND_API.def beside this header), so an installation
 * puts the vendor's DLL where the tests and the demo use our stand-in
 * (tokenstub/), which implements these same declarations.
 *
 * Every function returns a 32-bit status: 0 for success, anything else for a
 * failure whose value the control does not interpret. Numbers are 32-bit
 * unsigned values; the context is an opaque handle the library hands out.
 * On Windows the functions use the platform APIs' calling convention
 * (WINAPI, __stdcall on x86) and are exported by their undecorated names.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define EPAS_API __stdcall
#else
#define EPAS_API
#endif

/* Exported by the library; only its own build defines FT_ND_API_BUILD. */
#if defined(FT_ND_API_BUILD) && !defined(_WIN32)
#define EPAS_EXPORT __attribute__((visibility("default")))
#else
#define EPAS_EXPORT
#endif

typedef uint32_t EPAS_STATUS;
typedef void* EPAS_HANDLE;

#define EPAS_OK 0u

/* Verify types. */
#define EPAS_VERIFY_USER_PIN 0u
#define EPAS_VERIFY_FIXED_CODE 1u

/* Device property holding the serial number. */
#define EPAS_PROPERTY_SERIAL_NUMBER 7u

EPAS_EXPORT EPAS_STATUS EPAS_API epas_CreateContext(EPAS_HANDLE* context, uint32_t flags, uint32_t apiVersion);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_OpenDevice(EPAS_HANDLE context, uint32_t flags, uint32_t deviceIndex);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_Verify(EPAS_HANDLE context, uint32_t verifyType, const unsigned char* data,
                                             uint32_t length);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_GetProperty(EPAS_HANDLE context, uint32_t property, uint32_t reserved,
                                                  void* buffer, uint32_t length);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_ChangeDir(EPAS_HANDLE context, uint32_t flags, uint32_t directoryId,
                                                const char* name);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_OpenFile(EPAS_HANDLE context, uint32_t flags, uint32_t fileId,
                                               void* fileInfo, uint32_t fileInfoLength);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_Read(EPAS_HANDLE context, uint32_t flags, uint32_t offset, void* buffer,
                                           uint32_t length, uint32_t* bytesRead);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_CloseDevice(EPAS_HANDLE context);
EPAS_EXPORT EPAS_STATUS EPAS_API epas_DeleteContext(EPAS_HANDLE context);

#ifdef __cplusplus
}
#endif

#endif /* BIDDER_FT_ND_API_H */
