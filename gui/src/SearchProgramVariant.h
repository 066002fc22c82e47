// The part of the search variants' Init that depends on their API type
// (internal, not installed; see CSearchProgramBase).
#ifndef TAV_GUI_SEARCHPROGRAMVARIANT_H
#define TAV_GUI_SEARCHPROGRAMVARIANT_H

#include "GUISupport.h"
#include "SearchProgramBase.h"

#include <string>

namespace LibTAVGUI {

template <class API, class Callback>
int CSearchProgramBase::InitVariant(API* api, Callback* callback, const char* variant,
                                    const char* side)
{
    detail::SetUpTextDomain();
    AttachBaseClassGTKHandler(this);
    if (api)
        api->RegisterCallBack(callback);
    else
        detail::LogScope::Error(std::string(variant) + "::Init() --No " + side +
                                " API object: searching is not available!");
    m_bBuilt = true;
    return 0;
}

} // namespace LibTAVGUI

#endif
