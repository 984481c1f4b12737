// DirectSound 8 with its 3-D interfaces and the EAX 1.0 / 2.0 property sets, as the engine
// calls them, with the platform's public numbering. Backed by OpenAL Soft:
// - a device is an OpenAL device and context; the primary buffer's format is the mixing format;
// - a secondary buffer keeps its sample memory here (duplicates share it); while it plays, an
//   OpenAL source is fed from that memory a few milliseconds ahead of the play cursor, so the
//   play cursor advances with real playback and the write cursor is the end of what was fed;
// - 3-D buffers and the listener become OpenAL sources and the listener; DirectSound's space is
//   left-handed and OpenAL's right-handed, so z is negated in positions, velocities and
//   orientations; distances follow AL_INVERSE_DISTANCE_CLAMPED (reference distance = minimum
//   distance), and DSBCAPS_MUTE3DATMAXDISTANCE silences a buffer beyond its maximum distance;
// - EAX environments are EFX reverb on one auxiliary slot; only hardware 3-D buffers send to it.
//   Without EFX the property sets report EAX absent.
// The device offers a number of "hardware" voices (OpenAL sources reserved for hardware
// buffers); other buffers are mixed "in software" by the same OpenAL context, without reverb.
// Tests steer and inspect the stand-in through platform/impl/dsound_seams.h.
#pragma once

#include "platform/d3d8types.h"
#include "platform/win_types.h"

#include <cstdint>

// ---- Result codes ------------------------------------------------------------------------------
constexpr HRESULT make_dshresult(std::uint32_t code)
{
    return make_hresult(0x88780000u | code);
}
constexpr HRESULT DS_OK = S_OK;
constexpr HRESULT DSERR_ALLOCATED = make_dshresult(10);      // no hardware voice or OpenAL source left
constexpr HRESULT DSERR_CONTROLUNAVAIL = make_dshresult(30); // the buffer lacks that DSBCAPS_CTRL* flag
constexpr HRESULT DSERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DSERR_INVALIDCALL = make_dshresult(50);
constexpr HRESULT DSERR_GENERIC = E_FAIL;
constexpr HRESULT DSERR_PRIOLEVELNEEDED = make_dshresult(70);
constexpr HRESULT DSERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DSERR_BADFORMAT = make_dshresult(100);
constexpr HRESULT DSERR_UNSUPPORTED = E_NOTIMPL;
constexpr HRESULT DSERR_NODRIVER = make_dshresult(120);
constexpr HRESULT DSERR_BUFFERLOST = make_dshresult(150);
constexpr HRESULT DSERR_NOAGGREGATION = CLASS_E_NOAGGREGATION;
constexpr HRESULT DSERR_NOINTERFACE = E_NOINTERFACE;
// Property sets: an id the set does not have, a set the object does not have.
constexpr HRESULT E_PROP_ID_UNSUPPORTED = make_hresult(0x80070490);
constexpr HRESULT E_PROP_SET_UNSUPPORTED = make_hresult(0x80070492);

// ---- Interface identifiers ---------------------------------------------------------------------
extern const GUID IID_IUnknown;
extern const GUID IID_IDirectSound8;
extern const GUID IID_IDirectSoundBuffer;
extern const GUID IID_IDirectSoundBuffer8;
extern const GUID IID_IDirectSound3DListener; // also IID_IDirectSound3DListener8
extern const GUID IID_IDirectSound3DBuffer;   // also IID_IDirectSound3DBuffer8
extern const GUID IID_IKsPropertySet;

// ---- Records -----------------------------------------------------------------------------------
constexpr WORD WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
// The record of linear PCM with these channels, rate and bits (block and byte rate filled in).
WAVEFORMATEX dsound_pcm_format(WORD channels, DWORD rate, WORD bits);

// Buffer flags (DSBUFFERDESC::dwFlags, DSBCAPS::dwFlags).
constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_STATIC = 0x00000002;
constexpr DWORD DSBCAPS_LOCHARDWARE = 0x00000004;
constexpr DWORD DSBCAPS_LOCSOFTWARE = 0x00000008;
constexpr DWORD DSBCAPS_CTRL3D = 0x00000010;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr DWORD DSBCAPS_CTRLPAN = 0x00000040;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr DWORD DSBCAPS_CTRLFX = 0x00000200;
constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;
constexpr DWORD DSBCAPS_MUTE3DATMAXDISTANCE = 0x00020000;
constexpr DWORD DSBCAPS_LOCDEFER = 0x00040000;

constexpr DWORD DSBPLAY_LOOPING = 0x00000001;
constexpr DWORD DSBPLAY_LOCHARDWARE = 0x00000002;
constexpr DWORD DSBPLAY_LOCSOFTWARE = 0x00000004;
constexpr DWORD DSBPLAY_TERMINATEBY_TIME = 0x00000008;
constexpr DWORD DSBPLAY_TERMINATEBY_DISTANCE = 0x00000010;
constexpr DWORD DSBPLAY_TERMINATEBY_PRIORITY = 0x00000020;

constexpr DWORD DSBSTATUS_PLAYING = 0x00000001;
constexpr DWORD DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr DWORD DSBSTATUS_LOOPING = 0x00000004;
constexpr DWORD DSBSTATUS_LOCHARDWARE = 0x00000008;
constexpr DWORD DSBSTATUS_LOCSOFTWARE = 0x00000010;
constexpr DWORD DSBSTATUS_TERMINATED = 0x00000020;

constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x00000001;
constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x00000002;

constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_PRIORITY = 2;
constexpr DWORD DSSCL_EXCLUSIVE = 3;

constexpr LONG DSBVOLUME_MIN = -10000; // hundredths of a decibel; -10000 is silence
constexpr LONG DSBVOLUME_MAX = 0;
constexpr LONG DSBPAN_LEFT = -10000;
constexpr LONG DSBPAN_CENTER = 0;
constexpr LONG DSBPAN_RIGHT = 10000;
constexpr DWORD DSBFREQUENCY_ORIGINAL = 0;
constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 200000;
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

// The description of a new buffer. dwSize must be sizeof(DSBUFFERDESC) (the 32-bit platform's
// 36 bytes cannot hold a 64-bit pointer). A primary buffer has no size and no format.
struct DSBUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    WAVEFORMATEX* lpwfxFormat;
    GUID guid3DAlgorithm; // all zero: the default algorithm (the only one)
};

struct DSBCAPS {
    DWORD dwSize;  // sizeof(DSBCAPS)
    DWORD dwFlags; // the creation flags, the location resolved (LOCHARDWARE or LOCSOFTWARE)
    DWORD dwBufferBytes;
    DWORD dwUnlockTransferRate;
    DWORD dwPlayCpuOverhead;
};

constexpr DWORD DSCAPS_PRIMARYMONO = 0x00000001;
constexpr DWORD DSCAPS_PRIMARYSTEREO = 0x00000002;
constexpr DWORD DSCAPS_PRIMARY8BIT = 0x00000004;
constexpr DWORD DSCAPS_PRIMARY16BIT = 0x00000008;
constexpr DWORD DSCAPS_CONTINUOUSRATE = 0x00000010;
constexpr DWORD DSCAPS_SECONDARYMONO = 0x00000100;
constexpr DWORD DSCAPS_SECONDARYSTEREO = 0x00000200;
constexpr DWORD DSCAPS_SECONDARY8BIT = 0x00000400;
constexpr DWORD DSCAPS_SECONDARY16BIT = 0x00000800;

// Device capabilities. The hardware counts are the device's hardware voices (see
// dsound_seam_set_hardware); a device without hardware streaming buffers reports 0 in the
// three streaming fields and places only DSBCAPS_STATIC buffers in hardware.
struct DSCAPS {
    DWORD dwSize; // sizeof(DSCAPS)
    DWORD dwFlags;
    DWORD dwMinSecondarySampleRate;
    DWORD dwMaxSecondarySampleRate;
    DWORD dwPrimaryBuffers;
    DWORD dwMaxHwMixingAllBuffers;
    DWORD dwMaxHwMixingStaticBuffers;
    DWORD dwMaxHwMixingStreamingBuffers;
    DWORD dwFreeHwMixingAllBuffers;
    DWORD dwFreeHwMixingStaticBuffers;
    DWORD dwFreeHwMixingStreamingBuffers;
    DWORD dwMaxHw3DAllBuffers;
    DWORD dwMaxHw3DStaticBuffers;
    DWORD dwMaxHw3DStreamingBuffers;
    DWORD dwFreeHw3DAllBuffers;
    DWORD dwFreeHw3DStaticBuffers;
    DWORD dwFreeHw3DStreamingBuffers;
    DWORD dwTotalHwMemBytes;
    DWORD dwFreeHwMemBytes;
    DWORD dwMaxContigFreeHwMemBytes;
    DWORD dwUnlockTransferRateHwBuffers;
    DWORD dwPlayCpuOverheadSwBuffers;
    DWORD dwReserved1;
    DWORD dwReserved2;
};
static_assert(sizeof(DSCAPS) == 96);

// 3-D settings: applied at once, or kept until the listener's CommitDeferredSettings.
constexpr DWORD DS3D_IMMEDIATE = 0;
constexpr DWORD DS3D_DEFERRED = 1;
constexpr DWORD DS3DMODE_NORMAL = 0;
constexpr DWORD DS3DMODE_HEADRELATIVE = 1;
constexpr DWORD DS3DMODE_DISABLE = 2;
constexpr float DS3D_DEFAULTMINDISTANCE = 1.0f;
constexpr float DS3D_DEFAULTMAXDISTANCE = 1e9f;
constexpr float DS3D_DEFAULTDISTANCEFACTOR = 1.0f; // metres per unit (Doppler only)
constexpr float DS3D_DEFAULTROLLOFFFACTOR = 1.0f;
constexpr float DS3D_DEFAULTDOPPLERFACTOR = 1.0f;
constexpr DWORD DS3D_DEFAULTCONEANGLE = 360;
constexpr LONG DS3D_DEFAULTCONEOUTSIDEVOLUME = 0;

struct DS3DLISTENER {
    DWORD dwSize; // sizeof(DS3DLISTENER)
    D3DVECTOR vPosition;
    D3DVECTOR vVelocity;
    D3DVECTOR vOrientFront;
    D3DVECTOR vOrientTop;
    float flDistanceFactor;
    float flRolloffFactor;
    float flDopplerFactor;
};
static_assert(sizeof(DS3DLISTENER) == 64);

struct DS3DBUFFER {
    DWORD dwSize; // sizeof(DS3DBUFFER)
    D3DVECTOR vPosition;
    D3DVECTOR vVelocity;
    DWORD dwInsideConeAngle;  // degrees
    DWORD dwOutsideConeAngle; // degrees
    D3DVECTOR vConeOrientation;
    LONG lConeOutsideVolume; // hundredths of a decibel
    float flMinDistance;
    float flMaxDistance;
    DWORD dwMode;
};
static_assert(sizeof(DS3DBUFFER) == 64);

// ---- EAX property sets -------------------------------------------------------------------------
constexpr ULONG KSPROPERTY_SUPPORT_GET = 1;
constexpr ULONG KSPROPERTY_SUPPORT_SET = 2;

// EAX 1.0: the reverb set (the listener's environment, reached through any buffer that EAX acts
// on) and the buffer reverb set (that buffer's reverb mix).
extern const GUID DSPROPSETID_EAX_ReverbProperties;
extern const GUID DSPROPSETID_EAXBUFFER_ReverbProperties;
constexpr ULONG DSPROPERTY_EAX_ALL = 0;             // EAX_REVERBPROPERTIES
constexpr ULONG DSPROPERTY_EAX_ENVIRONMENT = 1;     // DWORD environment index
constexpr ULONG DSPROPERTY_EAX_VOLUME = 2;          // float 0..1, the reverb's level
constexpr ULONG DSPROPERTY_EAX_DECAYTIME = 3;       // float seconds
constexpr ULONG DSPROPERTY_EAX_DAMPING = 4;         // float 0..2
constexpr ULONG DSPROPERTY_EAXBUFFER_ALL = 0;       // EAXBUFFER_REVERBPROPERTIES
constexpr ULONG DSPROPERTY_EAXBUFFER_REVERBMIX = 1; // float 0..1, or EAX_REVERBMIX_USEDISTANCE
constexpr float EAX_REVERBMIX_USEDISTANCE = -1.0f;

struct EAX_REVERBPROPERTIES {
    DWORD environment;
    float fVolume;
    float fDecayTime_sec;
    float fDamping;
};
struct EAXBUFFER_REVERBPROPERTIES {
    float fMix;
};

// EAX 2.0: the listener set (reached through a hardware 3-D buffer's IDirectSound3DBuffer) and
// the buffer set. Ids with the deferred bit (0x80000000) are not supported.
extern const GUID DSPROPSETID_EAX20_ListenerProperties;
extern const GUID DSPROPSETID_EAX20_BufferProperties;
constexpr ULONG DSPROPERTY_EAXLISTENER_ALLPARAMETERS = 1; // EAXLISTENERPROPERTIES
constexpr ULONG DSPROPERTY_EAXLISTENER_ROOM = 2;
constexpr ULONG DSPROPERTY_EAXLISTENER_ROOMHF = 3;
constexpr ULONG DSPROPERTY_EAXLISTENER_ROOMROLLOFFFACTOR = 4;
constexpr ULONG DSPROPERTY_EAXLISTENER_DECAYTIME = 5;
constexpr ULONG DSPROPERTY_EAXLISTENER_DECAYHFRATIO = 6;
constexpr ULONG DSPROPERTY_EAXLISTENER_REFLECTIONS = 7;
constexpr ULONG DSPROPERTY_EAXLISTENER_REFLECTIONSDELAY = 8;
constexpr ULONG DSPROPERTY_EAXLISTENER_REVERB = 9;
constexpr ULONG DSPROPERTY_EAXLISTENER_REVERBDELAY = 10;
constexpr ULONG DSPROPERTY_EAXLISTENER_ENVIRONMENT = 11; // sets every field from the preset
constexpr ULONG DSPROPERTY_EAXLISTENER_ENVIRONMENTSIZE = 12;
constexpr ULONG DSPROPERTY_EAXLISTENER_ENVIRONMENTDIFFUSION = 13;
constexpr ULONG DSPROPERTY_EAXLISTENER_AIRABSORPTIONHF = 14;
constexpr ULONG DSPROPERTY_EAXLISTENER_FLAGS = 15;
constexpr ULONG DSPROPERTY_EAXBUFFER_ALLPARAMETERS = 1; // EAXBUFFERPROPERTIES
constexpr ULONG DSPROPERTY_EAXBUFFER_DIRECT = 2;
constexpr ULONG DSPROPERTY_EAXBUFFER_DIRECTHF = 3;
constexpr ULONG DSPROPERTY_EAXBUFFER_ROOM = 4;
constexpr ULONG DSPROPERTY_EAXBUFFER_ROOMHF = 5;
constexpr ULONG DSPROPERTY_EAXBUFFER_ROOMROLLOFFFACTOR = 6;
constexpr ULONG DSPROPERTY_EAXBUFFER_OBSTRUCTION = 7;
constexpr ULONG DSPROPERTY_EAXBUFFER_OBSTRUCTIONLFRATIO = 8;
constexpr ULONG DSPROPERTY_EAXBUFFER_OCCLUSION = 9;
constexpr ULONG DSPROPERTY_EAXBUFFER_OCCLUSIONLFRATIO = 10;
constexpr ULONG DSPROPERTY_EAXBUFFER_OCCLUSIONROOMRATIO = 11;
constexpr ULONG DSPROPERTY_EAXBUFFER_OUTSIDEVOLUMEHF = 12;
constexpr ULONG DSPROPERTY_EAXBUFFER_AIRABSORPTIONFACTOR = 13;
constexpr ULONG DSPROPERTY_EAXBUFFER_FLAGS = 14;

// Listener flags: which values follow a change of the environment size.
constexpr DWORD EAXLISTENERFLAGS_DECAYTIMESCALE = 0x01;
constexpr DWORD EAXLISTENERFLAGS_REFLECTIONSSCALE = 0x02;
constexpr DWORD EAXLISTENERFLAGS_REFLECTIONSDELAYSCALE = 0x04;
constexpr DWORD EAXLISTENERFLAGS_REVERBSCALE = 0x08;
constexpr DWORD EAXLISTENERFLAGS_REVERBDELAYSCALE = 0x10;
constexpr DWORD EAXLISTENERFLAGS_DECAYHFLIMIT = 0x20;
// Buffer flags: automatic high-frequency and room attenuation with distance.
constexpr DWORD EAXBUFFERFLAGS_DIRECTHFAUTO = 0x1;
constexpr DWORD EAXBUFFERFLAGS_ROOMAUTO = 0x2;
constexpr DWORD EAXBUFFERFLAGS_ROOMHFAUTO = 0x4;

// Levels in hundredths of a decibel, times in seconds.
struct EAXLISTENERPROPERTIES {
    LONG lRoom;
    LONG lRoomHF;
    float flRoomRolloffFactor;
    float flDecayTime;
    float flDecayHFRatio;
    LONG lReflections;
    float flReflectionsDelay;
    LONG lReverb;
    float flReverbDelay;
    DWORD dwEnvironment;
    float flEnvironmentSize; // metres
    float flEnvironmentDiffusion;
    float flAirAbsorptionHF;
    DWORD dwFlags;
};
static_assert(sizeof(EAXLISTENERPROPERTIES) == 56);

struct EAXBUFFERPROPERTIES {
    LONG lDirect;
    LONG lDirectHF;
    LONG lRoom;
    LONG lRoomHF;
    float flRoomRolloffFactor;
    LONG lObstruction;
    float flObstructionLFRatio;
    LONG lOcclusion;
    float flOcclusionLFRatio;
    float flOcclusionRoomRatio;
    LONG lOutsideVolumeHF;
    float flAirAbsorptionFactor;
    DWORD dwFlags;
};
static_assert(sizeof(EAXBUFFERPROPERTIES) == 52);

// The EAX environments, in their published order.
constexpr DWORD EAX_ENVIRONMENT_GENERIC = 0;
constexpr DWORD EAX_ENVIRONMENT_COUNT = 26; // 0 generic ... 25 psychotic

// ---- Interfaces --------------------------------------------------------------------------------
// Reference counting as on the platform: Release returns what is left and destroys the object
// at 0. Every object keeps its device's mixer alive, so releasing the device before its
// buffers is safe. All calls may come from any thread; the device serialises them.
class IUnknown {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

class IDirectSoundBuffer;
class IDirectSound3DBuffer;
class IDirectSound3DListener;
class IKsPropertySet;
using IDirectSoundBuffer8 = IDirectSoundBuffer;
using IDirectSound3DBuffer8 = IDirectSound3DBuffer;
using IDirectSound3DListener8 = IDirectSound3DListener;

class IDirectSound8 : public IUnknown {
public:
    // Secondary buffers need a cooperative level; the primary buffer (one object, handed out
    // again with another reference) needs DSSCL_PRIORITY for SetFormat.
    virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                                      IUnknown* outer) = 0;
    virtual HRESULT GetCaps(DSCAPS* caps) = 0;
    // A new buffer over the same sample memory, with the same flags and settings, stopped at 0.
    virtual HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** duplicate) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
    // Frees the OpenAL sources no buffer plays on; needs DSSCL_PRIORITY.
    virtual HRESULT Compact() = 0;

protected:
    ~IDirectSound8() = default;
};

// IDirectSoundBuffer and IDirectSoundBuffer8 are one interface. QueryInterface hands out the
// IDirectSound3DBuffer of a DSBCAPS_CTRL3D buffer, the IDirectSound3DListener of a primary
// buffer made with DSBCAPS_CTRL3D, and the IKsPropertySet of any secondary buffer.
class IDirectSoundBuffer : public IUnknown {
public:
    virtual HRESULT GetCaps(DSBCAPS* caps) = 0;
    virtual HRESULT GetCurrentPosition(DWORD* play_cursor, DWORD* write_cursor) = 0;
    virtual HRESULT GetVolume(LONG* volume) = 0;
    virtual HRESULT GetPan(LONG* pan) = 0;
    virtual HRESULT GetFrequency(DWORD* frequency) = 0;
    virtual HRESULT GetStatus(DWORD* status) = 0;
    // Up to two regions: from offset to the end, then from the start when the range wraps.
    virtual HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2, DWORD* bytes2,
                         DWORD flags) = 0;
    virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
    virtual HRESULT SetCurrentPosition(DWORD position) = 0;
    virtual HRESULT SetFormat(const WAVEFORMATEX* format) = 0; // the primary buffer only
    virtual HRESULT SetVolume(LONG volume) = 0;
    virtual HRESULT SetPan(LONG pan) = 0;
    virtual HRESULT SetFrequency(DWORD frequency) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) = 0;
    // A lost buffer's memory is gone: after Restore the application fills it again.
    virtual HRESULT Restore() = 0;

protected:
    ~IDirectSoundBuffer() = default;
};

class IDirectSound3DListener : public IUnknown {
public:
    virtual HRESULT GetAllParameters(DS3DLISTENER* listener) = 0; // the committed values
    virtual HRESULT SetAllParameters(const DS3DLISTENER* listener, DWORD apply) = 0;
    // Applies every deferred listener and 3-D buffer setting of the device at once.
    virtual HRESULT CommitDeferredSettings() = 0;

protected:
    ~IDirectSound3DListener() = default;
};

class IDirectSound3DBuffer : public IUnknown {
public:
    virtual HRESULT GetAllParameters(DS3DBUFFER* buffer) = 0; // the committed values
    virtual HRESULT SetAllParameters(const DS3DBUFFER* buffer, DWORD apply) = 0;

protected:
    ~IDirectSound3DBuffer() = default;
};

// The property sets of one buffer. The EAX sets are supported on a 3-D buffer that is not
// placed in software (DSBCAPS_LOCSOFTWARE), when the device has EFX.
class IKsPropertySet : public IUnknown {
public:
    virtual HRESULT Get(const GUID& set, ULONG id, void* instance, ULONG instance_length, void* data,
                        ULONG data_length, ULONG* bytes_returned) = 0;
    virtual HRESULT Set(const GUID& set, ULONG id, void* instance, ULONG instance_length, void* data,
                        ULONG data_length) = 0;
    virtual HRESULT QuerySupport(const GUID& set, ULONG id, ULONG* support) = 0;

protected:
    ~IKsPropertySet() = default;
};

// ---- Devices -----------------------------------------------------------------------------------
// Called for each output device; returning FALSE ends the enumeration. The first entry is the
// default device (null identifier, "Primary Sound Driver"), then every OpenAL output device
// under its own name with an identifier made from that name.
using LPDSENUMCALLBACKA = BOOL (*)(GUID* device, const char* description, const char* module, void* context);
HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, void* context);
// Null device: the default device. An unknown identifier or a device that cannot be opened:
// DSERR_NODRIVER.
HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** object, IUnknown* outer);
