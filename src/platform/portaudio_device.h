// The PortAudio back-end of the sound devices: the only file that includes
// PortAudio. NAME is "default", a device index as `kws devices` lists it, or
// a device name (exactly, or a part of it that names one device).
#pragma once

#include <string_view>

#include "platform/wave_device.h"

namespace kws {

WaveInChoice make_portaudio_wave_in(std::string_view name);
WaveOutChoice make_portaudio_wave_out(std::string_view name);
SoundDeviceList list_portaudio_devices();

}  // namespace kws
