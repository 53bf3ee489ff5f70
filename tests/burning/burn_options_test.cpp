#include "burning/burn_options.h"

#include <gtest/gtest.h>

#include <cstring>

#include "burning/disc_burner_sdk.h"
#include "burning_test_support.h"

namespace burning {
namespace {

using burning_test::FakeLibraryTest;
using S = TBurningOptionSwitch;

template <typename Block>
const uint8_t* Bytes(const Block& block) {
  return reinterpret_cast<const uint8_t*>(&block);
}

int32_t Int32At(const uint8_t* bytes, size_t offset) {
  int32_t v;
  std::memcpy(&v, bytes + offset, 4);
  return v;
}

QString TextAt(const uint8_t* bytes, size_t offset, size_t capacity) {
  return TextFromField(bytes + offset, capacity);
}

bool AllFill(const uint8_t* bytes, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (bytes[i] != kFakeBlockFill) return false;
  return true;
}

TEST_F(FakeLibraryTest, OptionsBlockBytes) {
  Activate();
  const QString label200(200, QLatin1Char('L'));
  TBurningOptions& o = Burner->Options();
  o.SetVolumeLabel(label200);
  o.SetCacheSize(16777216);
  o.SetCopies(3);
  o.SetBootImage(QStringLiteral("/boot/floppy.img"));
  const uint8_t* b = Bytes(Fake->Options);
  EXPECT_EQ(TextAt(b, 0, 128), QString(127, QLatin1Char('L')));
  EXPECT_EQ(b[254], 0);
  EXPECT_EQ(b[255], 0);
  EXPECT_TRUE(AllFill(b, 256, 260)) << "wmDefault leaves the library's write method";
  EXPECT_EQ(TextAt(b, 262, 260), "/boot/floppy.img");
  EXPECT_EQ(Int32At(b, 786), 16777216);
  EXPECT_EQ(Int32At(b, 794), 3);
  EXPECT_TRUE(AllFill(b, 799, sizeof(DBOptionsBlock))) << "bytes the component does not own";

  // The default switches (193): Joliet, underrun protection, eject.
  struct Case {
    size_t offset;
    S sw;
  };
  const Case switches[] = {{260, S::osJolietFileSystem}, {261, S::osBootable},
                           {782, S::osFinalize},         {783, S::osTestBurn},
                           {784, S::osPerformOPC},       {785, S::osVerifyAfterBurn},
                           {790, S::osUnderrunProtection}, {791, S::osEjectAfterBurn},
                           {792, S::osAutoErase},        {793, S::osRockRidgeFileSystem},
                           {798, S::osPadDataTracks}};
  EXPECT_EQ(o.Switches().Bits(), 193);
  for (const Case& c : switches)
    EXPECT_EQ(b[c.offset], o.Switches().Contains(c.sw) ? 1 : 0) << c.offset;
  // Each switch alone lands on its own byte.
  for (const Case& c : switches) {
    o.SetSwitches({c.sw});
    for (const Case& other : switches)
      EXPECT_EQ(b[other.offset], other.offset == c.offset ? 1 : 0) << c.offset << " " << other.offset;
  }

  TBurningOptionSwitches noEject = TBurningOptionSwitches::FromBits(193);
  noEject.Exclude(S::osEjectAfterBurn);
  o.SetSwitches(noEject);
  EXPECT_EQ(b[791], 0);
  EXPECT_EQ(b[790], 1);

  for (auto [method, value] : {std::pair{TWriteMethod::wmTAO, 0}, std::pair{TWriteMethod::wmDAO, 1},
                               std::pair{TWriteMethod::wmDAO96, 2}}) {
    o.SetWriteMethod(method);
    EXPECT_EQ(Int32At(b, 256), value);
  }
}

TEST_F(FakeLibraryTest, ISOBlockBytes) {
  Activate();
  TISOInfo& iso = Burner->ISOInfo();
  struct Text {
    int index;
    size_t offset, capacity;
  };
  const Text texts[] = {{1, 0, 36},     {2, 72, 128},  {3, 328, 36},  {4, 400, 36},
                        {5, 472, 128},  {6, 728, 128}, {7, 984, 128}, {8, 1240, 31}};
  for (const Text& t : texts) iso.SetIdentifier(t.index, QString(300, QChar(u'A' + t.index)));
  const uint8_t* b = Bytes(Fake->ISO);
  for (const Text& t : texts)
    EXPECT_EQ(TextAt(b, t.offset, t.capacity), QString(int(t.capacity - 1), QChar(u'A' + t.index)))
        << t.index;

  for (auto [level, value] : {std::pair{TISOLevel::ilLevel1, 1}, std::pair{TISOLevel::ilLevel3, 3},
                              std::pair{TISOLevel::ilLevelRomeo, 4}}) {
    iso.SetLevel(level);
    EXPECT_EQ(Int32At(b, 1303), value);
  }

  const size_t switchOffsets[9] = {1302, 1307, 1308, 1309, 1310, 1311, 1326, 1341, 1356};
  for (int i = 1; i <= 9; ++i) {
    for (int j = 1; j <= 9; ++j) iso.SetSwitch(j, j == i);
    for (int j = 1; j <= 9; ++j) EXPECT_EQ(b[switchOffsets[j - 1]], j == i ? 1 : 0) << i << " " << j;
  }

  iso.SetModificationDateTime(EncodeDateTime(2000, 1, 1, 12, 30, 15));
  const uint8_t expected[14] = {100, 1, 1, 12, 30, 15, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(b + 1327, expected, 14), 0);
  const uint8_t zero[14] = {};
  for (size_t offset : {1312, 1342, 1357}) EXPECT_EQ(std::memcmp(b + offset, zero, 14), 0) << offset;
  EXPECT_TRUE(AllFill(b, 1371, sizeof(DBISOBlock)));
}

TEST_F(FakeLibraryTest, BootCompressDvdUdfBlockBytes) {
  Burner->SetProjectType(TProjectType::ptVideoDVD);
  Activate();
  TBootInfo& boot = Burner->BootInfo();
  boot.SetDeveloperID(QString(30, QLatin1Char('D')));
  boot.SetPlatformID(TBootPlatformID::bpMac);
  boot.SetEmulation(TBootEmulation::beHDD);
  boot.SetSectorCount(4);
  boot.SetBootIndicator(false);
  const uint8_t* b = Bytes(Fake->Boot);
  EXPECT_EQ(TextAt(b, 0, 24), QString(23, QLatin1Char('D')));
  EXPECT_EQ(b[48], 0);
  EXPECT_EQ(Int32At(b, 49), 1984);
  EXPECT_EQ(Int32At(b, 53), 2);
  EXPECT_EQ(Int32At(b, 57), 4);
  EXPECT_EQ(Int32At(b, 61), 4);
  EXPECT_TRUE(AllFill(b, 65, sizeof(DBBootBlock)));

  TCompressEncryptInfo& ce = Burner->CompressEncryptInfo();
  ce.SetCompressionLevel(9);
  ce.SetCompression(true);
  ce.SetPassword(QStringLiteral("sécret"));
  const uint8_t* c = Bytes(Fake->Compress);
  EXPECT_EQ(c[0], 1);
  EXPECT_EQ(Int32At(c, 1), 9);
  EXPECT_EQ(c[5], 0);
  EXPECT_EQ(Fake->Password, u"sécret");
  EXPECT_TRUE(AllFill(c, 14, sizeof(DBCompressEncryptBlock)));

  // Created as a DVD-Video project: its block went out with the project.
  EXPECT_TRUE(Fake->Called("SetDVDVideoOptions"));
  Burner->DVDVideoOptions().SetForceUppercase(true);
  EXPECT_EQ(Fake->DVD.Padding, 0);
  EXPECT_EQ(Fake->DVD.ForceUppercase, 1);

  TUDFOptions& udf = Burner->UDFOptions();
  const std::pair<TUDFVersion, int32_t> versions[] = {
      {TUDFVersion::uv102, 0x0102}, {TUDFVersion::uv150, 0x0150}, {TUDFVersion::uv200, 0x0200},
      {TUDFVersion::uv201, 0x0201}, {TUDFVersion::uv250, 0x0250}, {TUDFVersion::uv260, 0x0260}};
  const uint8_t* u = Bytes(Fake->UDF);
  for (auto [version, code] : versions) {
    udf.SetVersion(version);
    EXPECT_EQ(Int32At(u, 0), code);
  }
  EXPECT_EQ(u[0], 0x60);
  EXPECT_EQ(u[1], 0x02);
  udf.SetPartitionType(TUDFPartition::upSparable);
  udf.SetWriteFileStreams(true);
  EXPECT_EQ(Int32At(u, 4), 2);
  EXPECT_EQ(u[8], 0xFF);
  EXPECT_EQ(u[9], 0);
  udf.SetIsAvchdDisc(true);
  EXPECT_EQ(u[9], 0xFF);
  EXPECT_TRUE(AllFill(u, 10, sizeof(DBUDFBlock)));
}

TEST_F(FakeLibraryTest, ValuesSetWhileInactiveGoOutAtActivation) {
  Burner->Options().SetVolumeLabel(QStringLiteral("My Videos"));
  Burner->ISOInfo().SetLevel(TISOLevel::ilLevelRomeo);
  Burner->UDFOptions().SetVersion(TUDFVersion::uv250);
  Burner->DVDVideoOptions().SetPadding(true);
  EXPECT_TRUE(Fake->Calls.empty());
  Activate();
  EXPECT_EQ(TextAt(Bytes(Fake->Options), 0, 128), "My Videos");
  EXPECT_EQ(Int32At(Bytes(Fake->ISO), 1303), 4);
  EXPECT_EQ(Int32At(Bytes(Fake->UDF), 0), 0x0250);
  EXPECT_FALSE(Fake->Called("SetDVDVideoOptions")) << "not a DVD-Video project";
  // They persist across activations.
  Burner->SetActive(false);
  FakeLibraryTest::Fake->Calls.clear();
  std::memset(&Fake->Options, kFakeBlockFill, sizeof Fake->Options);
  Activate();
  EXPECT_EQ(TextAt(Bytes(Fake->Options), 0, 128), "My Videos");
}

TEST_F(FakeLibraryTest, FailedSetKeepsTheValueAndTheCode) {
  Activate();
  Fake->Results["SetBootInfoEx"] = 19;
  Burner->BootInfo().SetLoadSegment(7);
  EXPECT_EQ(Burner->BootInfo().LoadSegment(), 7);
  EXPECT_EQ(Burner->LastError(), 19);
  EXPECT_EQ(Int32At(Bytes(Fake->Boot), 49), 1984);  // the library kept its value
}

TEST(BurnOptions, StartingValues) {
  TBurningOptions o(nullptr);
  EXPECT_EQ(o.WriteMethod(), TWriteMethod::wmDefault);
  EXPECT_EQ(o.Switches().Bits(), 193);
  TBootInfo boot(nullptr);
  EXPECT_TRUE(boot.BootIndicator());
  EXPECT_EQ(boot.LoadSegment(), 1984);
  EXPECT_EQ(boot.Emulation(), TBootEmulation::be144MB);
  EXPECT_EQ(boot.SectorCount(), 1);
  TReadErrorCorrectionParams r;
  EXPECT_TRUE(r.ErrorCorrection && r.BlankBadSectors);
  EXPECT_EQ(r.HardwareRetryCount, 5);
  EXPECT_EQ(r.SoftwareRetryCount, 5);
}

TEST(BurnOptions, AssignCopiesWhatEachClassCopies) {
  TISOInfo isoSrc(nullptr), iso(nullptr);
  isoSrc.SetApplicationIdentifier(QStringLiteral("App"));
  isoSrc.SetLevel(TISOLevel::ilLevel3);
  isoSrc.SetAddSuffix(true);
  isoSrc.SetCreationDateTime(100);
  iso.Assign(isoSrc);
  EXPECT_EQ(iso.ApplicationIdentifier(), "App");
  EXPECT_EQ(iso.Level(), TISOLevel::ilLevel1);
  EXPECT_FALSE(iso.AddSuffix());
  EXPECT_EQ(iso.CreationDateTime(), 0);

  TBootInfo bootSrc(nullptr), boot(nullptr);
  bootSrc.SetDeveloperID(QStringLiteral("dev"));
  bootSrc.SetPlatformID(TBootPlatformID::bpPowerPC);
  bootSrc.SetSectorCount(9);
  boot.Assign(bootSrc);
  EXPECT_EQ(boot.DeveloperID(), "dev");
  EXPECT_EQ(boot.SectorCount(), 9);
  EXPECT_EQ(boot.PlatformID(), TBootPlatformID::bp80x86);

  TUDFOptions udfSrc(nullptr), udf(nullptr);
  udfSrc.SetVersion(TUDFVersion::uv201);
  udfSrc.SetWriteFileStreams(true);
  udfSrc.SetIsAvchdDisc(true);
  udf.Assign(udfSrc);
  EXPECT_EQ(udf.Version(), TUDFVersion::uv201);
  EXPECT_TRUE(udf.WriteFileStreams());
  EXPECT_FALSE(udf.IsAvchdDisc());

  TBurningOptions optSrc(nullptr), opt(nullptr);
  optSrc.SetVolumeLabel(QStringLiteral("Disc"));
  optSrc.SetSwitches({S::osFinalize});
  optSrc.SetCopies(2);
  opt.Assign(optSrc);
  EXPECT_EQ(opt.VolumeLabel(), "Disc");
  EXPECT_EQ(opt.Switches(), TBurningOptionSwitches({S::osFinalize}));
  EXPECT_EQ(opt.Copies(), 2);

  TCompressEncryptInfo ceSrc(nullptr), ce(nullptr);
  ceSrc.SetPassword(QStringLiteral("pw"));
  ceSrc.SetEncryption(true);
  ce.Assign(ceSrc);
  EXPECT_EQ(ce.Password(), "pw");
  EXPECT_TRUE(ce.Encryption());

  try {
    boot.Assign(iso);
    FAIL() << "no exception";
  } catch (const EDiscBurnerSDK& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TISOInfo to a TBootInfo");
  }
}

TEST_F(FakeLibraryTest, AssigningAFreeStandingCopyStillReachesTheLibrary) {
  Activate();
  TBurningOptions copy(nullptr);
  copy.SetVolumeLabel(QStringLiteral("Holiday"));
  Burner->SetOptions(copy);
  EXPECT_EQ(TextAt(Bytes(Fake->Options), 0, 128), "Holiday");
  Burner->Options().SetVolumeLabel(QStringLiteral("Later"));
  EXPECT_EQ(TextAt(Bytes(Fake->Options), 0, 128), "Later");
}

}  // namespace
}  // namespace burning
