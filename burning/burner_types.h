#pragma once
// Shared value types of the burning component: enumerations with the library's ordinals, the
// date-time type and the exception class.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace burning {

/// Days since 30 December 1899 00:00; the fraction is the time of day. 0 means "no date".
using TDateTime = double;

/// Misuse of the component (second active instance, inactive component, index out of range).
class EDiscBurnerSDK : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TASPIType : int32_t { atInternal, atWinASPI, atFrogASPI };
enum class TInfoTextLevel : int32_t { ilInfo, ilLowDebug, ilMediumDebug, ilHighDebug };
enum class TProjectType : int32_t {
  ptAudio, ptCue, ptData, ptVCD, ptSVCD, ptVideoDVD, ptUDFDVD, ptISOUDF, ptBluray, ptMixedMode,
  ptRaw, ptNone
};
enum class TWriteMethod : int32_t { wmTAO, wmDAO, wmDAO96, wmDefault };
enum class TBurningOptionSwitch : int {
  osJolietFileSystem, osBootable, osFinalize, osTestBurn, osPerformOPC, osVerifyAfterBurn,
  osUnderrunProtection, osEjectAfterBurn, osAutoErase, osRockRidgeFileSystem, osPadDataTracks
};
enum class TISOLevel : int32_t { ilLevel1, ilLevel2, ilLevel3, ilLevelRomeo };
enum class TBootPlatformID : int32_t { bp80x86, bpPowerPC, bpMac };
enum class TBootEmulation : int32_t { beNone, be12MB, be144MB, be288MB, beHDD };
enum class TUDFVersion : int32_t { uv102, uv150, uv200, uv201, uv250, uv260 };
enum class TUDFPartition : int32_t { upPhysical, upVirtual, upSparable };

/// A set of burning switches; bit n stands for the switch of ordinal n.
class TBurningOptionSwitches {
 public:
  TBurningOptionSwitches() = default;
  TBurningOptionSwitches(std::initializer_list<TBurningOptionSwitch> switches) {
    for (TBurningOptionSwitch s : switches) Include(s);
  }
  static TBurningOptionSwitches FromBits(uint16_t bits) {
    TBurningOptionSwitches set;
    set.FBits = bits & 0x07FF;
    return set;
  }
  bool Contains(TBurningOptionSwitch s) const { return (FBits >> static_cast<int>(s)) & 1; }
  void Include(TBurningOptionSwitch s) { FBits |= uint16_t(1u << static_cast<int>(s)); }
  void Exclude(TBurningOptionSwitch s) { FBits &= uint16_t(~(1u << static_cast<int>(s))); }
  uint16_t Bits() const { return FBits; }
  bool operator==(const TBurningOptionSwitches&) const = default;

 private:
  uint16_t FBits = 0;
};

/// The video format of a scanned video file.
struct TVideoFormat {
  bool Valid = false;
  int32_t Values[7] = {};
};

}  // namespace burning
