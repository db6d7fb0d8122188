// The sound device over the mixer and one output.
#include "playback/sound_device.h"

#include <algorithm>
#include <map>
#include <utility>

#include "playback/mixer.h"

namespace quillon {
namespace {

// The handle of an open device. There is one device per SoundDevice object.
constexpr int32_t kDeviceHandle = 1;

}  // namespace

int32_t MajorityRate(const std::vector<int32_t>& rates) {
  std::map<int32_t, int> votes;
  for (int32_t rate : rates) {
    if (rate >= kMinSoundRate && rate <= kMaxSoundRate) ++votes[rate];
  }
  int32_t best = kDefaultMixRate;
  int most = 0;
  for (const auto& [rate, count] : votes) {  // ascending rates: a tie keeps the later one
    if (count >= most) {
      best = rate;
      most = count;
    }
  }
  // Old charts often have 22.05 kHz key sounds beside a 44.1 kHz background track: mixing at
  // the lower rate would take the top octave off the track.
  return std::max(best, kDefaultMixRate);
}

struct SoundDevice::Impl {
  std::unique_ptr<SoundBackend> backend;
  std::unique_ptr<Mixer> mixer;  // only while the output is open
  int32_t rate = 0;
  int32_t next_id = 1;  // ids stay unique across a close and a new open
  uint32_t opens = 0;
  bool global_focus = false;

  bool Open() const { return mixer != nullptr; }

  bool OpenAt(int32_t asked) {
    auto fresh = std::make_unique<Mixer>(asked, next_id);
    int32_t got = asked;
    if (!backend->Open(*fresh, got)) return false;
    mixer = std::move(fresh);
    rate = got;
    ++opens;
    return true;
  }

  void Close() {
    if (!mixer) return;
    backend->Close();  // the render side is idle from here
    next_id = mixer->NextId();
    mixer.reset();
    rate = 0;
  }
};

SoundDevice::SoundDevice(std::unique_ptr<SoundBackend> backend) : impl_(std::make_unique<Impl>()) {
  impl_->backend = backend ? std::move(backend) : MakeNullBackend();
}

SoundDevice::~SoundDevice() {
  impl_->Close();
}

int32_t SoundDevice::dsInitialize2(int64_t, int32_t) {
  if (impl_->Open()) return kDeviceHandle;
  return impl_->OpenAt(kDefaultMixRate) ? kDeviceHandle : 0;
}

void SoundDevice::dsSetGlobalFocus(int32_t on) {
  impl_->global_focus = on != 0;
}

int32_t SoundDevice::CreateBuffer(std::shared_ptr<const DecodedSound> sound) {
  if (!impl_->Open() || !sound || sound->Rate != impl_->rate) return 0;
  return impl_->mixer->Add(std::move(sound));
}

void SoundDevice::dsSetVolume(int32_t id, int32_t level) {
  if (impl_->Open()) impl_->mixer->SetVolume(id, level);
}

void SoundDevice::dsStop(int32_t id) {
  if (impl_->Open()) impl_->mixer->Stop(id);
}

void SoundDevice::dsPlay(int32_t id) {
  if (impl_->Open()) impl_->mixer->Play(id);
}

void SoundDevice::PlayAt(int32_t id, int64_t frame) {
  if (impl_->Open()) impl_->mixer->PlayAt(id, frame);
}

void SoundDevice::dsFree(int32_t id) {
  if (impl_->Open()) impl_->mixer->Free(id);
}

void SoundDevice::dsTerminate(int32_t device) {
  if (device == kDeviceHandle) impl_->Close();
}

int32_t SoundDevice::UseRate(int32_t rate) {
  if (!impl_->Open() || rate < kMinSoundRate || rate > kMaxSoundRate) return impl_->rate;
  const int32_t old_rate = impl_->rate;
  const int32_t stream_rate = impl_->backend->StreamRate(rate);
  if (stream_rate == 0 || stream_rate == old_rate) return old_rate;
  impl_->Close();
  if (!impl_->OpenAt(rate)) impl_->OpenAt(old_rate);
  return impl_->rate;
}

bool SoundDevice::FollowsRate() const {
  return impl_->Open() && impl_->backend->StreamRate(kMinSoundRate) == kMinSoundRate &&
         impl_->backend->StreamRate(kMaxSoundRate) == kMaxSoundRate;
}

bool SoundDevice::IsOpen() const {
  return impl_->Open();
}

int32_t SoundDevice::Rate() const {
  return impl_->rate;
}

int64_t SoundDevice::OutputFrame() const {
  return impl_->Open() ? impl_->backend->FramesPlayed() : 0;
}

uint32_t SoundDevice::Opens() const {
  return impl_->opens;
}

int32_t SoundDevice::ActiveVoices() const {
  return impl_->Open() ? impl_->mixer->ActiveVoices() : 0;
}

}  // namespace quillon
