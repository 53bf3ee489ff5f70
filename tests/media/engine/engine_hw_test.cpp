// Hardware devices and accelerations. Mesa's software Vulkan device (lavapipe) is a real device on
// any machine for the device table, derived devices and hardware frames in filter graphs (where a
// GPU has a Vulkan driver, device 0 may be that GPU: the same filters run there). VA-API, CUDA and
// Quick Sync are tested for what happens without their device: they must fail with their reasons
// or fall back to software decoding, never crash. On a machine whose kernel offers such a device
// (a render node, an NVIDIA device node) those rows are skipped with the reason: what happens then
// depends on the driver stack, not on this code.

#include <gtest/gtest.h>

#include <glob.h>

#include <array>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "media/engine/custom_ffmpeg.h"

namespace {

/// The luma of the 6th frame, as Debian's ffmpeg decodes it.
std::vector<uint8_t> Luma(const std::string& path) { return engine_test::DecodedFrame(path, 5, "gray"); }

constexpr const char* kVulkanFlip = "-vf format=yuv420p,hwupload,hflip_vulkan,hwdownload,format=yuv420p -c:v ffv1 -an";

struct THWCase {
  const char* Name;
  const char* InputOptions;
  const char* Options;
  bool Opens;
  bool Finishes;
  const char* Text;  // in the failure's text ("" for a run that finishes)
  // The device nodes (a glob pattern) whose presence means the device can exist here, so the row,
  // which tests the device's absence, cannot hold; none for the rows that hold on any machine.
  const char* DeviceNodes = nullptr;
};

constexpr const char* kRenderNodes = "/dev/dri/renderD*";  // VA-API and Quick Sync open these
constexpr const char* kNvidiaNodes = "/dev/nvidia[0-9]*";  // CUDA and cuvid

/// The first path matching pattern, or "" when none exists.
std::string FirstMatch(const char* pattern) {
  glob_t found{};
  std::string first;
  if (::glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0) first = found.gl_pathv[0];
  ::globfree(&found);
  return first;
}

std::ostream& operator<<(std::ostream& os, const THWCase& c) { return os << c.Name; }

class HardwareTest : public ::testing::TestWithParam<THWCase> {
 protected:
  // Every test here may make a Vulkan device: its driver stays loaded until the process ends.
  void SetUp() override { engine_test::KeepVulkanDriversLoaded(); }
};

TEST_P(HardwareTest, DeviceSpecificationsAndAccelerations) {
  const THWCase& c = GetParam();
  if (c.DeviceNodes != nullptr) {
    const std::string node = FirstMatch(c.DeviceNodes);
    if (!node.empty())
      GTEST_SKIP() << node << " exists: this machine may have the device whose absence the row tests";
  }
  const std::string out = engine_test::TempPath(std::string("hw-") + c.Name + ".mkv");
  const engine_test::TConvertResult r = engine_test::Convert(engine_test::SourceClip(), out, c.Options, c.InputOptions);
  EXPECT_EQ(r.Opened, c.Opens) << r.Message;
  EXPECT_EQ(r.Finished, c.Finishes) << r.Message;
  if (*c.Text != '\0') {
    EXPECT_NE(r.Message.find(c.Text), std::string::npos) << r.Message;
  }
  if (c.Finishes) {
    const engine_test::TProbe p = engine_test::Probe(out, true);
    ASSERT_NE(p.First("video"), nullptr) << p.Error;
    EXPECT_EQ(p.First("video")->Frames, 50);
  }
}

const THWCase kHWCases[] = {
    {"VulkanFilterDevice", "-init_hw_device vulkan=vk -filter_hw_device vk", kVulkanFlip, true, true, ""},
    // Unnamed devices are named after their type and the first free index: vulkan0, vulkan1.
    {"VulkanSecondUnnamedIsVulkan1", "-init_hw_device vulkan -init_hw_device vulkan -filter_hw_device vulkan1",
     kVulkanFlip, true, true, ""},
    {"VulkanDerivedDevice", "-init_hw_device vulkan=vk -init_hw_device vulkan=vk2@vk -filter_hw_device vk2",
     kVulkanFlip, true, true, ""},
    {"DeviceOptionsParsed", "-init_hw_device vulkan=vk:0,debug=0 -filter_hw_device vk", kVulkanFlip, true, true, ""},
    {"NamedDeviceTwice", "-init_hw_device vulkan=vk -init_hw_device vulkan=vk", "-c:v ffv1", false, false,
     "Invalid device specification \"vulkan=vk\": named device already exists"},
    {"UnknownSourceDevice", "-init_hw_device qsv=hw@dx", "-c:v ffv1", false, false,
     "Invalid device specification \"qsv=hw@dx\": invalid source device name"},
    {"UnknownType", "-init_hw_device nosuch", "-c:v ffv1", false, false,
     "Invalid device specification \"nosuch\": unknown device type"},
    {"EmptyType", "-init_hw_device =x", "-c:v ffv1", false, false, "Invalid device specification \"=x\": parse error"},
    {"BadDeviceOptions", "-init_hw_device vulkan=v:0,novalue", "-c:v ffv1", false, false,
     "Invalid device specification \"vulkan=v:0,novalue\": failed to parse options"},
    {"CudaCannotBeCreated", "-init_hw_device cuda", "-c:v ffv1", false, false, "Device creation failed: ",
     kNvidiaNodes},
    {"UnknownFilterDevice", "-init_hw_device vulkan=vk -filter_hw_device other", "-c:v ffv1", false, false,
     "Invalid filter device other."},
    {"VaapiDecodeFails", "-hwaccel vaapi", "-c:v ffv1 -an", true, false,
     "Device setup failed for decoder on input stream #0:0", kRenderNodes},
    // A device asked for by name must be there, even where the decoder would not use it.
    {"QsvDecodeFails", "-hwaccel qsv", "-c:v ffv1 -an", true, false,
     "Device setup failed for decoder on input stream #0:0", kRenderNodes},
    {"CuvidIsTheCudaDevice", "-hwaccel cuvid", "-c:v ffv1 -an", true, false,
     "Device setup failed for decoder on input stream #0:0", kNvidiaNodes},
    {"UnknownAcceleration", "-hwaccel foo", "-c:v ffv1", false, false,
     "Unrecognized hwaccel: foo.\nSupported hwaccels: vdpau cuda vaapi"},
    // No VA-API device for the encoder: nothing can turn software pictures into its frames. No
    // device is opened for an encoder unless one is given, so this holds with a VA-API device too.
    {"VaapiEncoderWithoutDevice", "", "-c:v h264_vaapi -an", true, false, ""},
};

INSTANTIATE_TEST_SUITE_P(Lavapipe, HardwareTest, ::testing::ValuesIn(kHWCases),
                         [](const ::testing::TestParamInfo<THWCase>& info) { return info.param.Name; });

// "-hwaccel" with each device type's name: the engine converts where FFmpeg's program converts,
// and otherwise fails with the program's last line (the device's reason, from the library).
class HWAccelParityTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { engine_test::KeepVulkanDriversLoaded(); }
};

TEST_P(HWAccelParityTest, ConvertsOrFailsAsTheProgramDoes) {
  const std::string name = GetParam();
  const std::string mismatch = engine_test::ReferenceMismatch();
  if (!mismatch.empty()) GTEST_SKIP() << mismatch;
  const std::string reference = engine_test::TempPath("hwref-" + name + ".mkv");
  const std::string command = engine_test::kFFmpeg + " -nostdin -v error -y -hwaccel " + name + " -i " +
                              engine_test::ShellQuote(engine_test::SourceClip()) + " -c:v ffv1 -an " +
                              engine_test::ShellQuote(reference) + " 2>&1; echo \"status=$?\"";
  std::string text = engine_test::CommandOutput(command);
  const bool programConverts = text.find("status=0") != std::string::npos;
  text.erase(text.rfind("status="));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::string lastLine = text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);

  const engine_test::TConvertResult r = engine_test::Convert(
      engine_test::SourceClip(), engine_test::TempPath("hw-" + name + ".mkv"), "-c:v ffv1 -an", "-hwaccel " + name);
  EXPECT_EQ(r.Finished, programConverts) << r.Message << "\nthe program: " << text;
  if (!programConverts) {
    EXPECT_NE(r.Message.find(lastLine), std::string::npos) << r.Message << "\nthe program: " << text;
  }
}

INSTANTIATE_TEST_SUITE_P(DeviceNames, HWAccelParityTest,
                         ::testing::Values("vulkan", "vaapi", "vdpau", "cuda", "cuvid", "qsv", "drm", "opencl",
                                           "videotoolbox", "none", "auto", "nosuch"));

// The flip on the Vulkan device gives the picture the software filter gives.
TEST(HardwareFrames, VulkanFlipMatchesTheSoftwareFlip) {
  engine_test::KeepVulkanDriversLoaded();
  const std::string vulkan = engine_test::TempPath("flip-vulkan.mkv");
  const std::string software = engine_test::TempPath("flip-software.mkv");
  ASSERT_TRUE(engine_test::Convert(engine_test::SourceClip(), vulkan, kVulkanFlip,
                                   "-init_hw_device vulkan=vk -filter_hw_device vk")
                  .Finished);
  ASSERT_TRUE(engine_test::Convert(engine_test::SourceClip(), software, "-vf hflip -c:v ffv1 -an").Finished);
  const std::vector<uint8_t> a = Luma(vulkan);
  const std::vector<uint8_t> b = Luma(software);
  ASSERT_EQ(a.size(), 160u * 120u);
  ASSERT_EQ(b.size(), a.size());
  // Mesa's software Vulkan filter does not give the software filter's bytes exactly (about 5 on
  // average at the test picture's sharp edges, FFmpeg's own tool gives the same), but the picture
  // is the flipped one: unflipped it is some 95 away.
  double same = 0;
  double mirrored = 0;
  for (int y = 0; y < 120; y++)
    for (int x = 0; x < 160; x++) {
      same += std::abs(int(a[y * 160 + x]) - int(b[y * 160 + x]));
      mirrored += std::abs(int(a[y * 160 + x]) - int(b[y * 160 + 159 - x]));
    }
  EXPECT_LT(same / (160 * 120), 8.0);
  EXPECT_GT(mirrored / (160 * 120), 50.0);
}

// The device table itself.
TEST(HardwareDevices, NamesLookupAndTwoOfOneType) {
  engine_test::KeepVulkanDriversLoaded();
  media::TCustomFFmpeg engine;
  media::THWDevice* first = nullptr;
  ASSERT_EQ(engine.HWDeviceInitFromString("vulkan", &first), 0) << engine.LastErrMsg();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name, "vulkan0");
  EXPECT_EQ(engine.HWDeviceGetByType(AV_HWDEVICE_TYPE_VULKAN), first);
  EXPECT_EQ(engine.HWDeviceGetByName("vulkan0"), first);

  media::THWDevice* second = nullptr;
  ASSERT_EQ(engine.HWDeviceInitFromString("vulkan", &second), 0) << engine.LastErrMsg();
  EXPECT_EQ(second->name, "vulkan1");
  // Two devices of one type: the caller must name the one it wants.
  EXPECT_EQ(engine.HWDeviceGetByType(AV_HWDEVICE_TYPE_VULKAN), nullptr);
  EXPECT_EQ(engine.HWDeviceGetByName("vulkan1"), second);
  EXPECT_EQ(engine.HWDeviceGetByName("vulkan"), nullptr);

  media::THWDevice* derived = nullptr;
  ASSERT_EQ(engine.HWDeviceInitFromString("vulkan=same@vulkan1", &derived), 0) << engine.LastErrMsg();
  EXPECT_EQ(derived->name, "same");
  EXPECT_EQ(engine.HWDeviceInitFromString("vulkan=x@nowhere", nullptr), AVERROR(EINVAL));
  EXPECT_NE(engine.LastErrMsg().find("invalid source device name"), std::string::npos) << engine.LastErrMsg();

  engine.HWDeviceFreeAll();
  EXPECT_EQ(engine.HWDeviceGetByName("vulkan0"), nullptr);
}

}  // namespace
