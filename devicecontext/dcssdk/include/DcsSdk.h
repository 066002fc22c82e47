/*
 * Device SDK interface: bezel-button (function-key) events of the netbook.
 *
 * This copy is a stand-in with the same four calls and event record as the
 * vendor's SDK. A machine with the vendor's libDcsSdk.so uses that one in its
 * place, without rebuilding the libraries that link against it.
 *
 * The stand-in reads its button presses from a named pipe: the environment
 * variable DCS_BEZEL_PIPE names it when DCS_Initialize runs (the pipe is
 * created, mode 0600, if missing). Every decimal number written into it is
 * one event with that key code, e.g. "echo 4 > $DCS_BEZEL_PIPE" for a single
 * click. Without the variable the SDK opens but reports no events.
 */
#ifndef DCS_SDK_H
#define DCS_SDK_H

#if defined(__GNUC__)
#define DCS_API __attribute__((visibility("default")))
#else
#define DCS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Key codes of the bezel button. */
#define DCS_KEY_BEZEL_SINGLE_CLICK 4
#define DCS_KEY_BEZEL_DOUBLE_CLICK 5

/* Environment variable naming the stand-in's button pipe. */
#define DCS_BEZEL_PIPE_ENV "DCS_BEZEL_PIPE"

/* One virtual-keyboard event. */
typedef struct DCS_VKbd_Data_E {
    int keyCode; /* DCS_KEY_BEZEL_SINGLE_CLICK, DCS_KEY_BEZEL_DOUBLE_CLICK, ... */
} DCS_VKbd_Data_E;

/* Called on the SDK's own event thread, once per event. The record is only
   valid during the call. */
typedef void (*DCS_FnKeyCallback)(DCS_VKbd_Data_E* data);

/* Opens the SDK connection and starts its event thread. 0 on success (also
   when already open), non-zero when the button source cannot be opened. */
DCS_API int DCS_Initialize(void);

/* Stops the event thread and closes the connection; an event handler still
   registered is dropped first. May be called from the handler itself.
   0, or -1 when the connection was not open. */
DCS_API int DCS_Uninitialize(void);

/* Sets the one event handler (replacing any earlier one). 0, or -1 when the
   connection is not open. */
DCS_API int DCS_RegisterFnKeyCallback(DCS_FnKeyCallback handler);

/* Drops the event handler. When it returns no handler call is running
   (unless it was called from inside the handler) and none will follow.
   0, or -1 when the connection is not open. */
DCS_API int DCS_UnregisterFnKeyCallback(void);

#ifdef __cplusplus
}
#endif

#endif
