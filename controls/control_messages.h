// The private window messages the controls understand and the command identifiers they send to
// their parent besides their own WM_COMMAND.
//
// A control's notification is WM_COMMAND with wParam = the control's id and lParam = the
// argument (a state, an index, or a pointer to the value block the control keeps).
#pragma once

#include <windows.h>

namespace orq::controls {

// Slider, knob: lParam points to a float, the new value. Bar meter: lParam points to the value
// (a float; one per bar for a multi-bar meter), followed by the marker value when the meter
// has a marker.
constexpr UINT kSetValueMessage = WM_USER + 2; // 1026
// Button: state 1 when wParam is non-zero, else 0. Selector: select position lParam.
constexpr UINT kSetStateMessage = WM_USER + 3; // 1027
// Button, rocker, selector: enable (wParam non-zero) or disable.
constexpr UINT kEnableMessage = WM_USER + 4; // 1028
// Selector: select nothing.
constexpr UINT kSelectNoneMessage = WM_USER + 5; // 1029
// Bar meter with a marker thickness above 0: marker on (wParam non-zero) or off.
constexpr UINT kMarkerOnMessage = WM_USER + 6; // 1030
// Knob: the current drag sensitivity becomes lParam pixels per step.
constexpr UINT kSetSensitivityMessage = WM_USER + 7; // 1031

// WM_COMMAND identifiers sent with the control's id as lParam.
constexpr int kDisabledClickCommand = 1032; // a left click on a disabled control
constexpr int kRightClickCommand = 1033;    // a right click on a slider or rocker

} // namespace orq::controls
