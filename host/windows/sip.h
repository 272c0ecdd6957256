// The device's software input panel (SIP): the platform component that finds input methods by
// their class registration, loads the current one as an in-process COM server and drives it in
// the platform's order: RegisterCallback, GetInfo, Select, ReceiveSipInfo, then Showing and
// Hiding as the panel is shown and hidden, pen messages to the input method's panel window, and
// at the end Deselect, the release, and DllCanUnloadNow before the library is unloaded.
//
// The SIP owns its window: a top-level host window as wide as the screen, docked at the bottom
// above the 26-pixel menu bar, a quarter of the screen high until the input method sizes it in
// Showing. The input method makes its panel as a child of that window.
//
// Invariants: an input method object is held only between a successful Select and Stop; the SIP
// window exists while an input method is selected; the current class is always a registered
// input method or null.
#pragma once

#include <string>
#include <vector>

#include "host/gdi/bitmap.h"
#include "platform/sip.h"
#include "platform/windows.h"

namespace host {

class Device;

constexpr int kSipMenuBarHeight = 26;
constexpr int kSipNavigationBarHeight = 26;

// One input method as SipEnumIM reports it.
struct InputMethodInfo {
    CLSID clsid{};
    std::u16string name;
};
// The registered input methods in the registry's order.
std::vector<InputMethodInfo> EnumerateInputMethods();

class Sip {
public:
    enum class Pen { Down, Move, Up, DoubleClick };

    explicit Sip(Device& device);
    // Stops the input method (Deselect and release, no Hiding) and destroys the SIP window.
    ~Sip();
    Sip(const Sip&) = delete;
    Sip& operator=(const Sip&) = delete;

    // The callback handed to the input method; null: one that drops every key. Not owned; it
    // must outlive the input method's use of it.
    void SetCallback(IIMCallback* callback);

    // The input method that runs or will run: "DefaultIm" of HKEY_CURRENT_USER
    // "ControlPanel\Sip" when that names a registered input method, else the first one
    // enumerated. False when none is registered.
    bool CurrentIM(CLSID* clsid);
    // E_INVALIDARG for a class that is not a registered input method. A running input method of
    // another class is stopped, and the new one started (and shown) in its place.
    HRESULT SetCurrentIM(const CLSID& clsid);

    // Loads the current input method and selects it into the SIP window. S_OK when it already
    // runs; REGDB_E_CLASSNOTREG when there is no input method; else the first failure of the
    // loading, RegisterCallback, GetInfo, Select or ReceiveSipInfo (the object is then released).
    HRESULT Start();
    // Shows the SIP window and calls Showing (starting first if needed); the SIP then docks the
    // window the input method may have resized and passes the shown state and the rectangle
    // with ReceiveSipInfo. S_OK and nothing else when it is shown.
    HRESULT Show();
    // Calls Hiding and hides the SIP window; S_OK and nothing else when it is hidden.
    HRESULT Hide();
    // Deselect, release, and unloading of every library whose DllCanUnloadNow allows it.
    void Stop();
    // Opens the options of an input method as the platform's input settings do: UserOptionsDlg
    // with the owner window, on the running object when it is of that class, else on an object
    // made for the purpose and released afterwards. The dialog may call back into the SIP
    // (SipShowIM, SipGetCurrentIM, SipSetCurrentIM), even to stop the very object it belongs to:
    // the object is held until its dialog returns. E_INVALIDARG for a class that is not a
    // registered input method; else what the loading or UserOptionsDlg returned.
    HRESULT OpenOptions(const CLSID& clsid, HWND owner);

    bool IsRunning() const { return m_im != nullptr; }
    // The running input method object (no reference added), or null.
    IInputMethod* InputMethod() const { return m_im; }
    bool IsShown() const { return m_shown; }
    HWND Window() const { return m_window; }
    // The input method's panel: the first child of the SIP window, or null.
    HWND Panel() const;
    // What ReceiveSipInfo gets: the SIP rectangle in screen coordinates, the desktop left
    // visible, SIPF_DOCKED and SIPF_ON while shown.
    SIPINFO Info() const;

    // A pen message to the panel in its client coordinates (each packed as a 16-bit value):
    // WM_LBUTTONDOWN, WM_MOUSEMOVE and WM_LBUTTONDBLCLK with MK_LBUTTON, WM_LBUTTONUP without.
    // S_FALSE when the panel is hidden (the pen finds nothing), E_FAIL when there is no panel.
    HRESULT PenMessage(Pen kind, int x, int y);
    // Turns the screen as RotateScreen (host/windows/rotation.h) does; the SIP window follows
    // the broadcast (FollowRotation). What ReceiveSipInfo returned, or E_FAIL when the screen
    // could not be turned.
    HRESULT Rotate();
    // After the screen turned: gives the SIP window the new width and the default height of the
    // new orientation, docks it, and calls ReceiveSipInfo.
    void FollowRotation();
    // Tells the input method that settings changed: ReceiveSipInfo with the current rectangle.
    HRESULT SettingsChanged();
    // Paints the panel now and returns its pixels, or null when there is no panel.
    const Bitmap* RenderPanel();

    // The height the SIP window is made with: a third of the screen in landscape, a quarter in
    // portrait (80 pixels on both 240x320 and 320x240).
    int DefaultHeight() const;

private:
    HRESULT CreateSipWindow();
    HRESULT CreateInputMethod(const CLSID& clsid, IInputMethod** im);
    void Dock(int height);
    HRESULT SendSipInfo();

    Device& m_device;
    IIMCallback* m_callback = nullptr;
    IInputMethod* m_im = nullptr;
    CLSID m_current{};
    bool m_haveCurrent = false;
    HWND m_window = nullptr;
    bool m_shown = false;
    bool m_comInitialized = false;
    HRESULT m_rotation = S_OK;  // what FollowRotation's ReceiveSipInfo returned
};

// The SIP of a device, made on first use; null without a device.
Sip* DeviceSip(Device* device);
// Tears down a device's SIP (as Sip's destructor does); whoever destroys a device with a running
// SIP calls this first, while the input method's library is still loaded.
void ReleaseDeviceSip(Device* device);

}  // namespace host
