/* The SDK header is plain C: a C host includes it and links the calls. */
#include "DcsSdk.h"

static void Ignore(DCS_VKbd_Data_E* data)
{
    (void)data;
}

int DcsHeaderCheckFromC(void)
{
    DCS_VKbd_Data_E data = {DCS_KEY_BEZEL_DOUBLE_CLICK};
    DCS_FnKeyCallback handler = Ignore;
    /* Not open: every call but DCS_Initialize refuses. */
    return DCS_RegisterFnKeyCallback(handler) + DCS_UnregisterFnKeyCallback() +
           DCS_Uninitialize() + data.keyCode;
}
