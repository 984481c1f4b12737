// DirectInput 8 as the programs call it: the system keyboard, the system mouse and game
// controllers with periodic force-feedback effects, with the platform's public numbering.
// Backed by SDL2:
// - the keyboard reads SDL's keyboard state, each key at its DirectInput scan code (DIK_*);
// - the mouse reads SDL's relative motion and buttons (0 left, 1 right, 2 middle, 3 the first
//   extra button); the wheel counts 120 per notch;
// - game controllers are SDL's joysticks, in SDL's order; a controller offers force feedback
//   when SDL's haptics play the sine effect on it (rumble alone does not count), and sine
//   effects become SDL haptic effects.
// Devices keep their own state as the platform does: data format, cooperative level,
// acquisition, properties, effects. A foreground device loses its acquisition when its window
// stops being the active one; the next read reports DIERR_INPUTLOST once, later reads
// DIERR_NOTACQUIRED, until Acquire succeeds again. Only the three predefined data formats are
// known. All calls may come from any thread. Tests steer the stand-in through platform/impl/dinput_seams.h.
#pragma once

#include "platform/win_types.h"
#include "platform/win_window.h" // POINT

#include <cstddef>
#include <cstdint>

// ---- Result codes ------------------------------------------------------------------------------
constexpr HRESULT DI_OK = S_OK;
constexpr HRESULT DI_NOEFFECT = S_FALSE; // nothing to do (already acquired, not acquired ...)
constexpr HRESULT DI_PROPNOEFFECT = S_FALSE;
constexpr HRESULT DI_POLLEDDEVICE = 2;
constexpr HRESULT DI_DOWNLOADSKIPPED = 3; // an effect was made but not sent: not acquired exclusively
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = make_hresult(0x8007047E);
constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = make_hresult(0x80070481);
constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DIERR_GENERIC = E_FAIL;
constexpr HRESULT DIERR_UNSUPPORTED = E_NOTIMPL;
constexpr HRESULT DIERR_NOAGGREGATION = CLASS_E_NOAGGREGATION;
constexpr HRESULT DIERR_NOINTERFACE = E_NOINTERFACE;
constexpr HRESULT DIERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DIERR_DEVICENOTREG = REGDB_E_CLASSNOTREG; // no such device or effect type
constexpr HRESULT DIERR_NOTFOUND = make_hresult(0x80070002);
constexpr HRESULT DIERR_OBJECTNOTFOUND = DIERR_NOTFOUND;
constexpr HRESULT DIERR_NOTINITIALIZED = make_hresult(0x80070015);
constexpr HRESULT DIERR_OTHERAPPHASPRIO = E_ACCESSDENIED;
constexpr HRESULT DIERR_INPUTLOST = make_hresult(0x8007001E);
constexpr HRESULT DIERR_ACQUIRED = make_hresult(0x800700AA);
constexpr HRESULT DIERR_NOTACQUIRED = make_hresult(0x8007000C);
constexpr HRESULT E_HANDLE = make_hresult(0x80070006);
constexpr HRESULT DIERR_DEVICEFULL = make_hresult(0x80040201);
constexpr HRESULT DIERR_INCOMPLETEEFFECT = make_hresult(0x80040206);
constexpr HRESULT DIERR_NOTEXCLUSIVEACQUIRED = make_hresult(0x80040205);
constexpr HRESULT DIERR_UNPLUGGED = make_hresult(0x80040209);

// ---- Identifiers -------------------------------------------------------------------------------
extern const GUID IID_IDirectInput8A;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;
extern const GUID GUID_Sine;
// Object types of DIDEVICEOBJECTINSTANCEA::guidType.
extern const GUID GUID_XAxis;
extern const GUID GUID_YAxis;
extern const GUID GUID_ZAxis;
extern const GUID GUID_RxAxis;
extern const GUID GUID_RyAxis;
extern const GUID GUID_RzAxis;
extern const GUID GUID_Slider;
extern const GUID GUID_Button;
extern const GUID GUID_Key;
extern const GUID GUID_POV;

constexpr DWORD DIRECTINPUT_VERSION = 0x0800;

// ---- Device classes, types and enumeration -----------------------------------------------------
constexpr DWORD DI8DEVCLASS_ALL = 0;
constexpr DWORD DI8DEVCLASS_DEVICE = 1;
constexpr DWORD DI8DEVCLASS_POINTER = 2;
constexpr DWORD DI8DEVCLASS_KEYBOARD = 3;
constexpr DWORD DI8DEVCLASS_GAMECTRL = 4;

constexpr DWORD DI8DEVTYPE_MOUSE = 0x12;
constexpr DWORD DI8DEVTYPE_KEYBOARD = 0x13;
constexpr DWORD DI8DEVTYPE_JOYSTICK = 0x14;
constexpr DWORD DI8DEVTYPE_GAMEPAD = 0x15;
constexpr DWORD DI8DEVTYPEMOUSE_TRADITIONAL = 2;
constexpr DWORD DI8DEVTYPEKEYBOARD_PCENH = 4;
constexpr DWORD DI8DEVTYPEJOYSTICK_STANDARD = 2;
constexpr DWORD DI8DEVTYPEGAMEPAD_STANDARD = 2;
constexpr DWORD DIDEVTYPE_HID = 0x00010000;
constexpr DWORD GET_DIDEVICE_TYPE(DWORD type)
{
    return type & 0xFF;
}

constexpr DWORD DIEDFL_ALLDEVICES = 0x00000000;
constexpr DWORD DIEDFL_ATTACHEDONLY = 0x00000001;
constexpr DWORD DIEDFL_FORCEFEEDBACK = 0x00000100;

constexpr BOOL DIENUM_STOP = 0;
constexpr BOOL DIENUM_CONTINUE = 1;

struct DIDEVICEINSTANCEA {
    DWORD dwSize; // sizeof(DIDEVICEINSTANCEA)
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType; // DI8DEVTYPE_* | subtype << 8 | DIDEVTYPE_HID
    char tszInstanceName[MAX_PATH];
    char tszProductName[MAX_PATH];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
using LPDIENUMDEVICESCALLBACKA = BOOL (*)(const DIDEVICEINSTANCEA* instance, void* context);

// ---- Data formats and device states ------------------------------------------------------------
struct DIOBJECTDATAFORMAT {
    const GUID* pguid;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
};
struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags; // DIDF_ABSAXIS or DIDF_RELAXIS
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const DIOBJECTDATAFORMAT* rgodf;
};
constexpr DWORD DIDF_ABSAXIS = 1;
constexpr DWORD DIDF_RELAXIS = 2;

// The keyboard's 256 bytes (one per scan code, 0x80 = down), DIMOUSESTATE, DIJOYSTATE.
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

struct DIMOUSESTATE {
    LONG lX; // movement since the previous read (relative mode) or the position (absolute)
    LONG lY;
    LONG lZ; // the wheel, 120 per notch
    BYTE rgbButtons[4];
};
static_assert(sizeof(DIMOUSESTATE) == 16);

struct DIJOYSTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4]; // hundredths of a degree clockwise from up; 0xFFFFFFFF centred or absent
    BYTE rgbButtons[32];
};
static_assert(sizeof(DIJOYSTATE) == 80);

// Offsets of the objects in DIJOYSTATE.
constexpr DWORD DIJOFS_X = offsetof(DIJOYSTATE, lX);
constexpr DWORD DIJOFS_Y = offsetof(DIJOYSTATE, lY);
constexpr DWORD DIJOFS_Z = offsetof(DIJOYSTATE, lZ);
constexpr DWORD DIJOFS_RX = offsetof(DIJOYSTATE, lRx);
constexpr DWORD DIJOFS_RY = offsetof(DIJOYSTATE, lRy);
constexpr DWORD DIJOFS_RZ = offsetof(DIJOYSTATE, lRz);
constexpr DWORD DIJOFS_SLIDER(DWORD n)
{
    return offsetof(DIJOYSTATE, rglSlider) + n * sizeof(LONG);
}
constexpr DWORD DIJOFS_POV(DWORD n)
{
    return offsetof(DIJOYSTATE, rgdwPOV) + n * sizeof(DWORD);
}
constexpr DWORD DIJOFS_BUTTON(DWORD n)
{
    return offsetof(DIJOYSTATE, rgbButtons) + n;
}

// ---- Keyboard scan codes -----------------------------------------------------------------------
// Set 1 scan codes of a PC keyboard; the keys that send an 0xE0 prefix carry 0x80.
constexpr BYTE DIK_ESCAPE = 0x01;
constexpr BYTE DIK_1 = 0x02;
constexpr BYTE DIK_2 = 0x03;
constexpr BYTE DIK_3 = 0x04;
constexpr BYTE DIK_4 = 0x05;
constexpr BYTE DIK_5 = 0x06;
constexpr BYTE DIK_6 = 0x07;
constexpr BYTE DIK_7 = 0x08;
constexpr BYTE DIK_8 = 0x09;
constexpr BYTE DIK_9 = 0x0A;
constexpr BYTE DIK_0 = 0x0B;
constexpr BYTE DIK_MINUS = 0x0C;
constexpr BYTE DIK_EQUALS = 0x0D;
constexpr BYTE DIK_BACK = 0x0E;
constexpr BYTE DIK_TAB = 0x0F;
constexpr BYTE DIK_Q = 0x10;
constexpr BYTE DIK_W = 0x11;
constexpr BYTE DIK_E = 0x12;
constexpr BYTE DIK_R = 0x13;
constexpr BYTE DIK_T = 0x14;
constexpr BYTE DIK_Y = 0x15;
constexpr BYTE DIK_U = 0x16;
constexpr BYTE DIK_I = 0x17;
constexpr BYTE DIK_O = 0x18;
constexpr BYTE DIK_P = 0x19;
constexpr BYTE DIK_LBRACKET = 0x1A;
constexpr BYTE DIK_RBRACKET = 0x1B;
constexpr BYTE DIK_RETURN = 0x1C;
constexpr BYTE DIK_LCONTROL = 0x1D;
constexpr BYTE DIK_A = 0x1E;
constexpr BYTE DIK_S = 0x1F;
constexpr BYTE DIK_D = 0x20;
constexpr BYTE DIK_F = 0x21;
constexpr BYTE DIK_G = 0x22;
constexpr BYTE DIK_H = 0x23;
constexpr BYTE DIK_J = 0x24;
constexpr BYTE DIK_K = 0x25;
constexpr BYTE DIK_L = 0x26;
constexpr BYTE DIK_SEMICOLON = 0x27;
constexpr BYTE DIK_APOSTROPHE = 0x28;
constexpr BYTE DIK_GRAVE = 0x29;
constexpr BYTE DIK_LSHIFT = 0x2A;
constexpr BYTE DIK_BACKSLASH = 0x2B;
constexpr BYTE DIK_Z = 0x2C;
constexpr BYTE DIK_X = 0x2D;
constexpr BYTE DIK_C = 0x2E;
constexpr BYTE DIK_V = 0x2F;
constexpr BYTE DIK_B = 0x30;
constexpr BYTE DIK_N = 0x31;
constexpr BYTE DIK_M = 0x32;
constexpr BYTE DIK_COMMA = 0x33;
constexpr BYTE DIK_PERIOD = 0x34;
constexpr BYTE DIK_SLASH = 0x35;
constexpr BYTE DIK_RSHIFT = 0x36;
constexpr BYTE DIK_MULTIPLY = 0x37;
constexpr BYTE DIK_LMENU = 0x38;
constexpr BYTE DIK_SPACE = 0x39;
constexpr BYTE DIK_CAPITAL = 0x3A;
constexpr BYTE DIK_F1 = 0x3B;
constexpr BYTE DIK_F2 = 0x3C;
constexpr BYTE DIK_F3 = 0x3D;
constexpr BYTE DIK_F4 = 0x3E;
constexpr BYTE DIK_F5 = 0x3F;
constexpr BYTE DIK_F6 = 0x40;
constexpr BYTE DIK_F7 = 0x41;
constexpr BYTE DIK_F8 = 0x42;
constexpr BYTE DIK_F9 = 0x43;
constexpr BYTE DIK_F10 = 0x44;
constexpr BYTE DIK_NUMLOCK = 0x45;
constexpr BYTE DIK_SCROLL = 0x46;
constexpr BYTE DIK_NUMPAD7 = 0x47;
constexpr BYTE DIK_NUMPAD8 = 0x48;
constexpr BYTE DIK_NUMPAD9 = 0x49;
constexpr BYTE DIK_SUBTRACT = 0x4A;
constexpr BYTE DIK_NUMPAD4 = 0x4B;
constexpr BYTE DIK_NUMPAD5 = 0x4C;
constexpr BYTE DIK_NUMPAD6 = 0x4D;
constexpr BYTE DIK_ADD = 0x4E;
constexpr BYTE DIK_NUMPAD1 = 0x4F;
constexpr BYTE DIK_NUMPAD2 = 0x50;
constexpr BYTE DIK_NUMPAD3 = 0x51;
constexpr BYTE DIK_NUMPAD0 = 0x52;
constexpr BYTE DIK_DECIMAL = 0x53;
constexpr BYTE DIK_OEM_102 = 0x56;
constexpr BYTE DIK_F11 = 0x57;
constexpr BYTE DIK_F12 = 0x58;
constexpr BYTE DIK_F13 = 0x64;
constexpr BYTE DIK_F14 = 0x65;
constexpr BYTE DIK_F15 = 0x66;
constexpr BYTE DIK_KANA = 0x70;
constexpr BYTE DIK_ABNT_C1 = 0x73;
constexpr BYTE DIK_CONVERT = 0x79;
constexpr BYTE DIK_NOCONVERT = 0x7B;
constexpr BYTE DIK_YEN = 0x7D;
constexpr BYTE DIK_NUMPADEQUALS = 0x8D;
constexpr BYTE DIK_PREVTRACK = 0x90;
constexpr BYTE DIK_CIRCUMFLEX = 0x90; // the same key on Japanese keyboards
constexpr BYTE DIK_AT = 0x91;
constexpr BYTE DIK_COLON = 0x92;
constexpr BYTE DIK_UNDERLINE = 0x93;
constexpr BYTE DIK_KANJI = 0x94;
constexpr BYTE DIK_NEXTTRACK = 0x99;
constexpr BYTE DIK_NUMPADENTER = 0x9C;
constexpr BYTE DIK_RCONTROL = 0x9D;
constexpr BYTE DIK_MUTE = 0xA0;
constexpr BYTE DIK_CALCULATOR = 0xA1;
constexpr BYTE DIK_PLAYPAUSE = 0xA2;
constexpr BYTE DIK_MEDIASTOP = 0xA4;
constexpr BYTE DIK_VOLUMEDOWN = 0xAE;
constexpr BYTE DIK_VOLUMEUP = 0xB0;
constexpr BYTE DIK_WEBHOME = 0xB2;
constexpr BYTE DIK_NUMPADCOMMA = 0xB3;
constexpr BYTE DIK_DIVIDE = 0xB5;
constexpr BYTE DIK_SYSRQ = 0xB7;
constexpr BYTE DIK_RMENU = 0xB8;
constexpr BYTE DIK_PAUSE = 0xC5;
constexpr BYTE DIK_HOME = 0xC7;
constexpr BYTE DIK_UP = 0xC8;
constexpr BYTE DIK_PRIOR = 0xC9;
constexpr BYTE DIK_LEFT = 0xCB;
constexpr BYTE DIK_RIGHT = 0xCD;
constexpr BYTE DIK_END = 0xCF;
constexpr BYTE DIK_DOWN = 0xD0;
constexpr BYTE DIK_NEXT = 0xD1;
constexpr BYTE DIK_INSERT = 0xD2;
constexpr BYTE DIK_DELETE = 0xD3;
constexpr BYTE DIK_LWIN = 0xDB;
constexpr BYTE DIK_RWIN = 0xDC;
constexpr BYTE DIK_APPS = 0xDD;
constexpr BYTE DIK_POWER = 0xDE;
constexpr BYTE DIK_SLEEP = 0xDF;
constexpr BYTE DIK_WEBSEARCH = 0xE5;
constexpr BYTE DIK_WEBFAVORITES = 0xE6;
constexpr BYTE DIK_WEBREFRESH = 0xE7;
constexpr BYTE DIK_WEBSTOP = 0xE8;
constexpr BYTE DIK_WEBFORWARD = 0xE9;
constexpr BYTE DIK_WEBBACK = 0xEA;
constexpr BYTE DIK_MYCOMPUTER = 0xEB;
constexpr BYTE DIK_MAIL = 0xEC;
constexpr BYTE DIK_MEDIASELECT = 0xED;

// ---- Cooperative levels ------------------------------------------------------------------------
// One of EXCLUSIVE / NONEXCLUSIVE and one of FOREGROUND / BACKGROUND. Exclusive background is
// not valid for the keyboard and the mouse (DIERR_UNSUPPORTED). Until a level is set, a device
// is non-exclusive background without a window.
constexpr DWORD DISCL_EXCLUSIVE = 0x01;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x02;
constexpr DWORD DISCL_FOREGROUND = 0x04;
constexpr DWORD DISCL_BACKGROUND = 0x08;
constexpr DWORD DISCL_NOWINKEY = 0x10; // keyboard, non-exclusive only

// ---- Capabilities and objects ------------------------------------------------------------------
struct DIDEVCAPS {
    DWORD dwSize; // sizeof(DIDEVCAPS)
    DWORD dwFlags;
    DWORD dwDevType;
    DWORD dwAxes;
    DWORD dwButtons;
    DWORD dwPOVs;
    DWORD dwFFSamplePeriod;
    DWORD dwFFMinTimeResolution;
    DWORD dwFirmwareRevision;
    DWORD dwHardwareRevision;
    DWORD dwFFDriverVersion;
};
static_assert(sizeof(DIDEVCAPS) == 44);
constexpr DWORD DIDC_ATTACHED = 0x00000001;
constexpr DWORD DIDC_POLLEDDEVICE = 0x00000002;
constexpr DWORD DIDC_FORCEFEEDBACK = 0x00000100;

// Object type bits (EnumObjects filter, DIDEVICEOBJECTINSTANCEA::dwType, DIPH_BYID).
constexpr DWORD DIDFT_ALL = 0x00000000;
constexpr DWORD DIDFT_RELAXIS = 0x00000001;
constexpr DWORD DIDFT_ABSAXIS = 0x00000002;
constexpr DWORD DIDFT_AXIS = 0x00000003;
constexpr DWORD DIDFT_PSHBUTTON = 0x00000004;
constexpr DWORD DIDFT_TGLBUTTON = 0x00000008;
constexpr DWORD DIDFT_BUTTON = 0x0000000C;
constexpr DWORD DIDFT_POV = 0x00000010;
constexpr DWORD DIDFT_ANYINSTANCE = 0x00FFFF00;
constexpr DWORD DIDFT_FFACTUATOR = 0x01000000;
constexpr DWORD DIDFT_MAKEINSTANCE(DWORD n)
{
    return (n & 0xFFFF) << 8;
}
constexpr DWORD DIDFT_GETTYPE(DWORD type)
{
    return type & 0xFF;
}
constexpr DWORD DIDFT_GETINSTANCE(DWORD type)
{
    return (type >> 8) & 0xFFFF;
}

constexpr DWORD DIDOI_FFACTUATOR = 0x00000001;
constexpr DWORD DIDOI_ASPECTPOSITION = 0x00000100;

struct DIDEVICEOBJECTINSTANCEA {
    DWORD dwSize; // sizeof(DIDEVICEOBJECTINSTANCEA)
    GUID guidType;
    DWORD dwOfs; // in the device's data format
    DWORD dwType;
    DWORD dwFlags;
    char tszName[MAX_PATH];
    DWORD dwFFMaxForce;
    DWORD dwFFForceResolution;
    WORD wCollectionNumber;
    WORD wDesignatorIndex;
    WORD wUsagePage;
    WORD wUsage;
    DWORD dwDimension;
    WORD wExponent;
    WORD wReportId;
};
using LPDIENUMDEVICEOBJECTSCALLBACKA = BOOL (*)(const DIDEVICEOBJECTINSTANCEA* object, void* context);

// ---- Properties --------------------------------------------------------------------------------
// A property is named by its number in Data1 of an otherwise zero GUID.
extern const GUID DIPROP_BUFFERSIZE; // 1: DIPROPDWORD, whole device, not while acquired
extern const GUID DIPROP_AXISMODE;   // 2: DIPROPDWORD, whole device, not while acquired
extern const GUID DIPROP_RANGE;      // 4: DIPROPRANGE, an axis or every axis
extern const GUID DIPROP_DEADZONE;   // 5: DIPROPDWORD 0..10000 of the range, an axis or every axis
extern const GUID DIPROP_SATURATION; // 6: DIPROPDWORD 0..10000 of the range
extern const GUID DIPROP_AUTOCENTER; // 9: DIPROPDWORD, force-feedback devices, not while acquired

constexpr DWORD DIPH_DEVICE = 0;
constexpr DWORD DIPH_BYOFFSET = 1;
constexpr DWORD DIPH_BYID = 2;

struct DIPROPHEADER {
    DWORD dwSize; // of the whole property record
    DWORD dwHeaderSize;
    DWORD dwObj; // 0 for DIPH_DEVICE; an offset or an object id
    DWORD dwHow;
};
struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
};
struct DIPROPRANGE {
    DIPROPHEADER diph;
    LONG lMin;
    LONG lMax;
};

constexpr DWORD DIPROPAXISMODE_ABS = 0;
constexpr DWORD DIPROPAXISMODE_REL = 1;
constexpr DWORD DIPROPAUTOCENTER_OFF = 0;
constexpr DWORD DIPROPAUTOCENTER_ON = 1;

// ---- Effects -----------------------------------------------------------------------------------
constexpr DWORD DI_FFNOMINALMAX = 10000;
constexpr DWORD DI_SECONDS = 1000000; // effect times are in microseconds
constexpr DWORD DIEB_NOTRIGGER = 0xFFFFFFFF;

constexpr DWORD DIEFF_OBJECTIDS = 0x01;
constexpr DWORD DIEFF_OBJECTOFFSETS = 0x02;
constexpr DWORD DIEFF_CARTESIAN = 0x10;
constexpr DWORD DIEFF_POLAR = 0x20;
constexpr DWORD DIEFF_SPHERICAL = 0x40;

constexpr DWORD DIES_SOLO = 0x00000001; // Start: stop the device's other effects first

struct DIENVELOPE {
    DWORD dwSize; // sizeof(DIENVELOPE)
    DWORD dwAttackLevel;
    DWORD dwAttackTime;
    DWORD dwFadeLevel;
    DWORD dwFadeTime;
};

struct DIPERIODIC {
    DWORD dwMagnitude; // 0..10000
    LONG lOffset;      // -10000..10000
    DWORD dwPhase;     // hundredths of a degree
    DWORD dwPeriod;    // microseconds
};
static_assert(sizeof(DIPERIODIC) == 16);

// dwSize must be sizeof(DIEFFECT) (the 32-bit platform's 56 bytes cannot hold 64-bit pointers).
struct DIEFFECT {
    DWORD dwSize;
    DWORD dwFlags;    // DIEFF_OBJECTIDS or DIEFF_OBJECTOFFSETS, and one coordinate system
    DWORD dwDuration; // microseconds, INFINITE for no end
    DWORD dwSamplePeriod;
    DWORD dwGain; // 0..10000
    DWORD dwTriggerButton;
    DWORD dwTriggerRepeatInterval;
    DWORD cAxes;
    DWORD* rgdwAxes;
    LONG* rglDirection;
    DIENVELOPE* lpEnvelope;
    DWORD cbTypeSpecificParams;
    void* lpvTypeSpecificParams;
    DWORD dwStartDelay;
};

// ---- Interfaces --------------------------------------------------------------------------------
// Reference counting as on the platform: Release returns what is left and destroys the object
// at 0. Devices and effects keep what they need alive, so any release order is safe.
class IDirectInputEffect {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Plays the effect `iterations` times (INFINITE: until stopped); downloads it first when
    // needed. Needs the device acquired exclusively (DIERR_NOTEXCLUSIVEACQUIRED).
    virtual HRESULT Start(DWORD iterations, DWORD flags) = 0;
    virtual HRESULT Stop() = 0;

protected:
    ~IDirectInputEffect() = default;
};

class IDirectInputDevice8A {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT GetCapabilities(DIDEVCAPS* caps) = 0;
    // Lists the objects of the given DIDFT_* kinds (DIDFT_ALL: all); stops at DIENUM_STOP.
    virtual HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, void* context, DWORD flags) = 0;
    virtual HRESULT SetProperty(const GUID& property, const DIPROPHEADER* header) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    // Copies the current state in the device's data format; size must be the format's size.
    virtual HRESULT GetDeviceState(DWORD size, void* data) = 0;
    // One of c_dfDIKeyboard, c_dfDIMouse, c_dfDIJoystick, matching the device; not while acquired.
    virtual HRESULT SetDataFormat(const DIDATAFORMAT* format) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    // GUID_Sine with a DIPERIODIC, on a force-feedback device. DI_DOWNLOADSKIPPED when the
    // device is not acquired exclusively (the effect is downloaded by its first Start).
    virtual HRESULT CreateEffect(const GUID& type, const DIEFFECT* effect, IDirectInputEffect** out,
                                 void* outer) = 0;
    // Brings a game controller's state up to date (DI_NOEFFECT for the keyboard and the mouse).
    virtual HRESULT Poll() = 0;

protected:
    ~IDirectInputDevice8A() = default;
};
using IDirectInputDevice8 = IDirectInputDevice8A;

class IDirectInput8A {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // GUID_SysKeyboard, GUID_SysMouse or the instance GUID of an attached controller
    // (else DIERR_DEVICENOTREG).
    virtual HRESULT CreateDevice(const GUID& instance, IDirectInputDevice8A** device, void* outer) = 0;
    // Device class (DI8DEVCLASS_*) or type (DI8DEVTYPE_*); keyboard, mouse, then the controllers.
    virtual HRESULT EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKA callback, void* context,
                                DWORD flags) = 0;

protected:
    ~IDirectInput8A() = default;
};
using IDirectInput8 = IDirectInput8A;

// Starts SDL's video (through the window layer) and its joystick and haptic parts. Version
// 0x0800 only (older: DIERR_OLDDIRECTINPUTVERSION, newer: DIERR_BETADIRECTINPUTVERSION);
// IID_IDirectInput8A only. DIERR_NOTINITIALIZED when there is no display.
HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, const GUID& iid, void** out, void* outer);

// ---- Cursor position ---------------------------------------------------------------------------
// The cursor in screen coordinates, as the last mouse message or SetCursorPos left it.
BOOL GetCursorPos(POINT* point);
// Moves the cursor over the program's active (else first) window; the move arrives as a mouse
// message like any other.
BOOL SetCursorPos(int x, int y);
