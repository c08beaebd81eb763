// SPDX-License-Identifier: MIT
#pragma once

namespace tessaly {

/// The windows that open inside the main window, one at a time.
enum class ChildWindow {
    FormList,   ///< the history list
    FormConfig, ///< the subscription editor
    FormParam,  ///< the basic settings dialog
    frmAbout,   ///< the about box
};

} // namespace tessaly
