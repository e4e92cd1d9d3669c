#include "authoring/model/kovasand_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "authoring/model/project_file.h"
#include "authoring/tests/support.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/util/encoding.h"
#include "kvi/actual_size_file.h"

namespace kv::authoring {
namespace {

using namespace testing;
namespace fs = std::filesystem;

class DocumentTest : public ::testing::Test {
 protected:
  DocumentTest() { WriteProgramFiles(program); }
  platform::Services Services() { return platform::Services{&messages, nullptr, nullptr}; }
  std::unique_ptr<KovasandDoc> MakeDoc() {
    auto doc = std::make_unique<KovasandDoc>(Services(), program.Folder(), temp.Folder());
    EXPECT_TRUE(doc->OnNewDocument());
    return doc;
  }
  std::string Last() const { return messages.shown.empty() ? "" : messages.shown.back(); }

  TempDir program, work, temp;
  RecordingMessages messages;
};

TEST_F(DocumentTest, SettingsAndLogoFailuresAreToldAndChangeNothing) {
  auto doc = MakeDoc();
  EXPECT_EQ(doc->cx, 2);
  EXPECT_EQ(doc->cy, 1);
  EXPECT_EQ(doc->link, "https://example.com/");
  EXPECT_EQ(doc->logoLength, 6u);
  doc->registrations.push_back(MakeRegistration(1, 1, 5, 5, 10));

  WriteText(program.File(kSettingsFileName), "[link]\nhttps://other/\n[cx]\n9\n");
  EXPECT_FALSE(doc->OnNewDocument());
  EXPECT_EQ(Last(), text::kSettingsInvalid);
  EXPECT_EQ(doc->registrations.size(), 1u);
  EXPECT_EQ(doc->cx, 2);

  // A settings file that is not there: the defaults, told once; saving the
  // settings writes it.
  fs::remove(program.File(kSettingsFileName));
  size_t told = messages.shown.size();
  EXPECT_TRUE(doc->OnNewDocument());
  EXPECT_EQ(messages.shown.size(), told + 1);
  EXPECT_EQ(Last().rfind(text::kSettingsMissing, 0), 0u) << Last();
  EXPECT_NE(Last().find("ﾛｺﾞとﾘﾝｸ先の設定"), std::string::npos) << Last();
  EXPECT_EQ(doc->link, kDefaultLogoLink);
  EXPECT_TRUE(doc->registrations.empty());
  EXPECT_TRUE(doc->OnNewDocument());
  EXPECT_EQ(messages.shown.size(), told + 1);
  EXPECT_EQ(doc->cx, 0);  // a 2 x 1 logo of no known size: publishing waits for the settings
  ASSERT_TRUE(doc->SaveProgramFiles("https://mine.example.jp/", 2, 1, std::vector<uint8_t>(6, 9)));
  EXPECT_NE(ReadText(program.File(kSettingsFileName)).find("mine.example.jp"), std::string::npos);
  // The logo the build writes has a size the defaults know.
  fs::remove(program.File(kSettingsFileName));
  WriteText(program.File(kLogoFileName), std::string(kDefaultLogoWidth * kDefaultLogoHeight * 3, 'x'));
  EXPECT_TRUE(doc->OnNewDocument());
  EXPECT_EQ(doc->cx, kDefaultLogoWidth);
  EXPECT_EQ(doc->cy, kDefaultLogoHeight);
  doc->registrations.push_back(MakeRegistration(1, 1, 5, 5, 10));

  WriteProgramFiles(program, 5, 5, 75);
  fs::remove(program.File(kLogoFileName));
  EXPECT_FALSE(doc->OnNewDocument());
  EXPECT_EQ(Last(), text::kLogoMissing);
  // Settings read before the missing logo are not half applied.
  EXPECT_EQ(doc->cx, kDefaultLogoWidth);
  EXPECT_EQ(doc->registrations.size(), 1u);

  // A logo file that is a folder, and an empty one that loads but cannot publish.
  fs::create_directory(program.File(kLogoFileName));
  EXPECT_FALSE(doc->OnNewDocument());
  fs::remove(program.File(kLogoFileName));
  WriteText(program.File(kLogoFileName), "");
  EXPECT_TRUE(doc->OnNewDocument());
  EXPECT_EQ(doc->logoLength, 0u);
  EXPECT_TRUE(doc->registrations.empty());
}

TEST_F(DocumentTest, ImportCommitsOnlyADecodedPhoto) {
  auto doc = MakeDoc();
  CodeRecorder view;
  doc->AddView(&view);
  const std::string good = WritePhoto(work, "写真.jpg", 64, 48);
  ASSERT_TRUE(doc->ImportJpeg(good));
  EXPECT_EQ(view.codes, (std::vector<int>{code::kListChanged, code::kThumbnail, code::kDisplay}));
  EXPECT_EQ(doc->jpegPath, good);
  EXPECT_EQ(doc->jpegName, "写真.jpg");
  EXPECT_EQ(doc->jpegLength, fs::file_size(good));
  EXPECT_EQ(doc->jpegBytes.size(), doc->jpegLength);
  EXPECT_EQ(doc->image.width, 64);
  EXPECT_TRUE(doc->IsModified());

  // Not a JPEG, a truncated one, a missing file.
  WriteText(work.File("bad.jpg"), "not a photo");
  const std::string bytes = ReadText(good);
  WriteText(work.File("cut.jpg"), bytes.substr(0, bytes.size() / 3));
  for (const std::string name : {"bad.jpg", "cut.jpg", "missing.jpg"}) {
    view.codes.clear();
    const size_t told = messages.shown.size();
    EXPECT_FALSE(doc->ImportJpeg(work.File(name))) << name;
    EXPECT_EQ(messages.shown.size(), told + 1) << name;
    EXPECT_TRUE(view.codes.empty());
    EXPECT_EQ(doc->jpegPath, good);
    EXPECT_EQ(doc->jpegLength, fs::file_size(good));
    EXPECT_TRUE(doc->image.HasImage());
    EXPECT_EQ(doc->image.width, 64);
  }
  doc->RemoveView(&view);

  // Registrations belong to the photo they were made on: a new photo asks
  // whether to delete them, "no" (the default) keeps them, "yes" drops
  // them; either can be undone, the old photo coming back.
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 20, 20, 50)));
  const std::string other = WritePhoto(work, "other.jpg", 32, 32);
  messages.answer = platform::MsgResult::No;
  ASSERT_TRUE(doc->ImportJpeg(other));
  EXPECT_EQ(messages.shown.back(), text::kDiscardRegistrations);
  EXPECT_EQ(doc->registrations.size(), 1u);
  EXPECT_EQ(doc->jpegPath, other);
  EXPECT_EQ(doc->image.width, 32);
  ASSERT_TRUE(doc->Undo());
  EXPECT_EQ(doc->jpegPath, good);
  EXPECT_EQ(doc->image.width, 64);
  EXPECT_EQ(doc->jpegLength, fs::file_size(good));
  EXPECT_EQ(doc->registrations.size(), 1u);
  messages.answer = platform::MsgResult::Yes;
  EXPECT_FALSE(doc->ImportJpeg(work.File("bad.jpg")));  // yes, but it fails: all stays
  EXPECT_EQ(doc->registrations.size(), 1u);
  ASSERT_TRUE(doc->ImportJpeg(other));
  EXPECT_TRUE(doc->registrations.empty());
  ASSERT_TRUE(doc->Undo());
  EXPECT_EQ(doc->registrations.size(), 1u);
  EXPECT_EQ(doc->jpegPath, good);
  ASSERT_TRUE(doc->Redo());
  EXPECT_TRUE(doc->registrations.empty());
  EXPECT_EQ(doc->jpegPath, other);

  // A name CP932 lacks characters for imports and publishes with '_' for
  // them (told); only a project, which must name the file, is refused.
  const std::string smile = WritePhoto(work, "smile😀.jpg", 8, 8);
  const size_t told = messages.shown.size();
  ASSERT_TRUE(doc->ImportJpeg(smile));
  ASSERT_EQ(messages.shown.size(), told + 1);
  EXPECT_NE(messages.shown.back().find("smile_.jpg"), std::string::npos);
  std::string reason;
  const std::optional<ActualSizeFile> f = doc->MakeActualSizeFile(reason);
  ASSERT_TRUE(f) << reason;
  EXPECT_EQ(f->jpegName, "smile_.jpg");
  // Saving offers a copy under a name that can be stored; refused, nothing
  // is written.
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 6, 1, 10)));
  messages.answer = platform::MsgResult::No;
  EXPECT_FALSE(doc->OnSaveDocument(work.File("smile.kvp")));
  EXPECT_NE(Last().find("smile_.jpg としてｺﾋﾟｰ"), std::string::npos) << Last();
  EXPECT_FALSE(fs::exists(work.File("smile.kvp")));
  EXPECT_FALSE(fs::exists(work.File("smile_.jpg")));
  // Taken: the copy goes to a free name, the registrations stay.
  messages.answer = platform::MsgResult::Yes;
  WriteText(work.File("smile_.jpg"), "another photo");
  ASSERT_TRUE(doc->OnSaveDocument(work.File("smile.kvp")));
  EXPECT_EQ(doc->jpegPath, work.File("smile__2.jpg"));
  EXPECT_EQ(ReadText(work.File("smile__2.jpg")), ReadText(smile));
  EXPECT_EQ(ReadText(work.File("smile_.jpg")), "another photo");
  EXPECT_EQ(doc->registrations.size(), 1u);
  auto reopened = MakeDoc();
  ASSERT_TRUE(reopened->OnOpenDocument(work.File("smile.kvp")));
  EXPECT_EQ(reopened->jpegPath, work.File("smile__2.jpg"));
  EXPECT_EQ(reopened->registrations.size(), 1u);
}

// Names as Japanese input types them: a wave dash (U+301C) and its CP932
// reading, a full-width tilde (U+FF5E), both stored as 0x8160 and found
// again on disk in whichever form the file has.
TEST_F(DocumentTest, NamesWithTwoUnicodeFormsAreStoredAndFoundAgain) {
  for (const std::string name : {"波\u301C線.jpg", "波\uFF5E線.jpg", "\u2016\u2212\u00A2.jpg"}) {
    TempDir folder;
    const std::string photo = WritePhoto(folder, name, 20, 10);
    auto doc = MakeDoc();
    const size_t told = messages.shown.size();
    ASSERT_TRUE(doc->ImportJpeg(photo));
    EXPECT_EQ(messages.shown.size(), told) << Last();
    ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 9, 1, 10)));
    ASSERT_TRUE(doc->OnSaveDocument(folder.File("p.kvp"))) << Last();
    const std::string stored = *Utf8ToCp932(name);
    EXPECT_NE(ReadText(folder.File("p.kvp")).find("[JPEG]\n" + stored + "\n"), std::string::npos);
    ASSERT_TRUE(doc->WriteKvi(folder.File("p.kvi")));
    ActualSizeFile f;
    std::string reason;
    ASSERT_TRUE(ReadActualSizeFile(folder.File("p.kvi"), f, reason));
    EXPECT_EQ(f.jpegName, stored);
    auto reopened = MakeDoc();
    ASSERT_TRUE(reopened->OnOpenDocument(folder.File("p.kvp")));
    EXPECT_EQ(reopened->jpegPath, photo);
    EXPECT_EQ(reopened->LoadJpeg(reopened->jpegPath), 1);
  }
  EXPECT_EQ(*Utf8ToCp932("波\u301C線.jpg"), "\x94\x67\x81\x60\x90\xFC.jpg");
}

// A photo moved or renamed after the project was saved is chosen again.
TEST_F(DocumentTest, AMovedPhotoIsFoundAgainAndCheckedBySize) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 60, 40)));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 50, 1, 100)));
  ASSERT_TRUE(doc->OnSaveDocument(work.File("p.kvp")));
  EXPECT_NE(ReadText(work.File("p.kvp")).find("p.jpg\n[SIZE]\n60\n40\n[DATA]"), std::string::npos);
  fs::create_directories(work.File("moved"));
  fs::rename(work.File("p.jpg"), work.File("moved/renamed.jpg"));
  WritePhoto(work, "moved/small.jpg", 30, 40);

  auto reopened = MakeDoc();
  ASSERT_TRUE(reopened->OnOpenDocument(work.File("p.kvp")));
  EXPECT_EQ(reopened->LoadJpeg(reopened->jpegPath), 0);
  reopened->ClearPhoto(true);
  EXPECT_TRUE(reopened->PhotoMissing());
  // Another size: asked, "no" keeps all as it is.
  messages.answer = platform::MsgResult::No;
  size_t told = messages.shown.size();
  EXPECT_EQ(reopened->LocatePhoto(work.File("moved/small.jpg")), KovasandDoc::LocateResult::Declined);
  EXPECT_EQ(messages.shown.size(), told + 1);
  EXPECT_NE(Last().find("30 x 40"), std::string::npos) << Last();
  EXPECT_TRUE(reopened->PhotoMissing());
  // The same size: taken without a word, registrations untouched.
  told = messages.shown.size();
  EXPECT_EQ(reopened->LocatePhoto(work.File("moved/renamed.jpg")), KovasandDoc::LocateResult::Taken);
  EXPECT_EQ(messages.shown.size(), told);
  EXPECT_EQ(reopened->jpegPath, work.File("moved/renamed.jpg"));
  ASSERT_EQ(reopened->registrations.size(), 1u);
  EXPECT_EQ(reopened->registrations[0], MakeRegistration(1, 1, 50, 1, 100));
  EXPECT_TRUE(reopened->IsModified());
  ASSERT_TRUE(reopened->OnSaveDocument(work.File("p.kvp")));
  EXPECT_NE(ReadText(work.File("p.kvp")).find("moved/renamed.jpg\n"), std::string::npos);
  // Without a known size (a project of the other platform's program) with
  // registrations: asked.
  WriteText(work.File("old.kvp"),
            "[COUNT]\n1\n[JPEG]\ngone.jpg\n[DATA]\n1\n1\n50\n1\n25\n1\n100\nEOF\n");
  auto old = MakeDoc();
  ASSERT_TRUE(old->OnOpenDocument(work.File("old.kvp")));
  messages.answer = platform::MsgResult::Yes;
  told = messages.shown.size();
  EXPECT_EQ(old->LocatePhoto(work.File("moved/renamed.jpg")), KovasandDoc::LocateResult::Taken);
  EXPECT_EQ(messages.shown.size(), told + 1);
}

TEST_F(DocumentTest, ProjectsRoundTripWithPhotosBesideInAndOutsideTheFolder) {
  fs::create_directories(work.File("sub"));
  fs::create_directories(work.File("projects/deep"));
  for (const std::string photoName : {"photo.jpg", "sub/ｿﾌｧ ソ表.jpg", "projects/../photo.jpg"}) {
    auto doc = MakeDoc();
    const std::string photo = WritePhoto(work, photoName, 40, 30);
    ASSERT_TRUE(doc->ImportJpeg(photo));
    ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 2, 30, 20, 250)));
    ASSERT_TRUE(doc->AddRegistration(MakeRegistration(39, 29, 0, 0, 1000000)));
    for (const std::string project : {"a.kvp", "projects/deep/b.kvp"}) {
      ASSERT_TRUE(doc->OnSaveDocument(work.File(project)));
      auto other = MakeDoc();
      ASSERT_TRUE(other->OnOpenDocument(work.File(project)));
      EXPECT_EQ(other->registrations, doc->registrations);
      EXPECT_EQ(fs::weakly_canonical(other->jpegPath), fs::weakly_canonical(photo))
          << photoName << " in " << project;
      EXPECT_EQ(other->LoadJpeg(other->jpegPath), 1);
    }
  }
  // The stored lines: the reference climbs out of the project's folder.
  const std::string text = ReadText(work.File("projects/deep/b.kvp"));
  EXPECT_NE(text.find("\n../../photo.jpg\n"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST_F(DocumentTest, SavingWithoutAPhotoWritesAnEmptyReference) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->OnSaveDocument(work.File("empty.kvp")));
  EXPECT_EQ(ReadText(work.File("empty.kvp")),
            "[KOVASAND]\nVERSION1.0\n[COUNT]\n0\n[JPEG]\n\nEOF\n");
  auto other = MakeDoc();
  ASSERT_TRUE(other->OnOpenDocument(work.File("empty.kvp")));
  EXPECT_EQ(other->jpegPath, "");
}

TEST_F(DocumentTest, AFailedOpenKeepsTheDocumentWhole) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 20, 20)));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 10, 10, 50)));
  WriteText(work.File("other.kvp"), "[COUNT]\n1\n[JPEG]\nx.jpg\n[DATA]\n1\n1\n2\n2\n1\n1\n5\nEOF\n");
  const std::string before = doc->jpegPath;

  EXPECT_FALSE(doc->OnOpenDocument(work.File("none.kvp")));
  fs::create_directory(work.File("folder.kvp"));
  EXPECT_FALSE(doc->OnOpenDocument(work.File("folder.kvp")));
  WriteText(work.File("bad-name.kvp"), "[COUNT]\n0\n[JPEG]\n\x81\x20.jpg\nEOF\n");
  EXPECT_FALSE(doc->OnOpenDocument(work.File("bad-name.kvp")));
  // Bytes of something else are no project: refused, not opened empty.
  WriteText(work.File("noise.kvp"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  WriteText(work.File("text.kvp"), "just some notes\nEOF\n");
  for (const char* name : {"noise.kvp", "text.kvp"}) {
    EXPECT_FALSE(doc->OnOpenDocument(work.File(name))) << name;
    EXPECT_NE(Last().find("ﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙ(kvp)ではありません"), std::string::npos);
  }
  WriteText(program.File(kSettingsFileName), "[cx]\n1\n");
  EXPECT_FALSE(doc->OnOpenDocument(work.File("other.kvp")));
  EXPECT_EQ(doc->jpegPath, before);
  ASSERT_EQ(doc->registrations.size(), 1u);
  EXPECT_EQ(doc->registrations[0].lengthMm, 50);
  EXPECT_EQ(doc->jpegLength, fs::file_size(before));
}

TEST_F(DocumentTest, ACutOrMisreadProjectIsRefusedAndLeftAsItIs) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 200, 100)));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(10, 20, 110, 20, 123)));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(5, 6, 70, 8, 250)));
  ASSERT_TRUE(doc->OnSaveDocument(work.File("p.kvp")));
  const std::string whole = ReadText(work.File("p.kvp"));
  const struct {
    std::string bytes, words;
  } cases[] = {
      {whole.substr(0, whole.find("123") + 2), "EOF"},
      {whole.substr(0, whole.rfind("[DATA]") + 10), "2番目の[DATA]"},
      {std::string(whole).replace(whole.find("250"), 3, "12.5"), "2番目の[DATA]"},
      {std::string(whole).replace(whole.find("123"), 3, "１２"), "1番目の[DATA]ﾌﾞﾛｯｸの実ｻｲｽﾞ"},
  };
  for (const auto& c : cases) {
    WriteText(work.File("cut.kvp"), c.bytes);
    EXPECT_FALSE(doc->OnOpenDocument(work.File("cut.kvp")));
    EXPECT_NE(Last().find(c.words), std::string::npos) << Last();
    EXPECT_NE(Last().find("cut.kvp を開けませんでした"), std::string::npos) << Last();
    EXPECT_EQ(ReadText(work.File("cut.kvp")), c.bytes);
    EXPECT_EQ(doc->registrations.size(), 2u);
  }
}

TEST_F(DocumentTest, RegistrationsThatGiveNoScaleAreMarkedAndNeverPublished) {
  auto doc = MakeDoc();
  WritePhoto(work, "photo.jpg", 40, 30);
  WriteText(work.File("odd.kvp"),
            "[COUNT]\n5\n[JPEG]\nphoto.jpg\n"
            "[DATA]\n1\n1\n9\n1\n5\n1\n10\n"      // sound
            "[DATA]\n1\n1\n9\n1\n5\n1\n0\n"       // no length
            "[DATA]\n1\n1\n9\n1\n5\n1\n-5\n"      // below zero
            "[DATA]\n4\n4\n4\n4\n4\n4\n10\n"      // one point
            "[DATA]\n1\n1\n40\n1\n99\n-7\n10\n"   // past the edge, centre wrong
            "EOF\n");
  messages.shown.clear();
  ASSERT_TRUE(doc->OnOpenDocument(work.File("odd.kvp")));
  // The centre follows its ends, and the user hears of it.
  EXPECT_EQ(doc->registrations[4].centerX, 20);
  EXPECT_EQ(doc->registrations[4].centerY, 1);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(Last().find("1 件"), std::string::npos) << Last();
  EXPECT_NE(Last().find("中心"), std::string::npos) << Last();
  EXPECT_TRUE(doc->IsModified());
  ASSERT_EQ(doc->LoadJpeg(doc->jpegPath), 1);
  EXPECT_EQ(doc->UnusableReason(0), "");
  EXPECT_NE(doc->UnusableReason(1).find("0以下"), std::string::npos);
  EXPECT_NE(doc->UnusableReason(2).find("0以下"), std::string::npos);
  EXPECT_NE(doc->UnusableReason(3).find("同じ位置"), std::string::npos);
  EXPECT_NE(doc->UnusableReason(4).find("外側"), std::string::npos);

  EXPECT_FALSE(doc->CheckPublishable());
  EXPECT_NE(Last().find("2番"), std::string::npos) << Last();
  EXPECT_FALSE(doc->WritePreview().has_value());
  // Mended or deleted, they let the photo go out.
  ASSERT_TRUE(doc->SetRegistrationLength(1, 30));
  ASSERT_TRUE(doc->DeleteRegistrations({2, 3, 4}));
  EXPECT_EQ(doc->FirstUnusable(), std::nullopt);
  EXPECT_TRUE(doc->CheckPublishable()) << Last();
}

TEST_F(DocumentTest, RegistrationsThatWouldBreakTheViewerAreRefused) {
  auto doc = MakeDoc();
  EXPECT_FALSE(doc->AddRegistration(MakeRegistration(1, 1, 5, 5, 10)));  // no photo
  doc->BeginRegistration();
  EXPECT_EQ(doc->drawMode, kDrawIdle);
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 100, 50)));
  doc->SetModifiedFlag(false);
  const SizeRegistration bad[] = {
      MakeRegistration(3, 3, 3, 3, 10),        MakeRegistration(0, 0, 10, 0, 0),
      MakeRegistration(0, 0, 10, 0, -5),       MakeRegistration(0, 0, 10, 0, 1000001),
      MakeRegistration(-1, 0, 10, 0, 10),      MakeRegistration(0, 0, 100, 0, 10),
      MakeRegistration(0, 50, 10, 0, 10),      MakeRegistration(0, 0, 99, 49, 10)};
  for (size_t i = 0; i + 1 < std::size(bad); ++i) EXPECT_FALSE(doc->AddRegistration(bad[i])) << i;
  EXPECT_TRUE(doc->registrations.empty());
  EXPECT_FALSE(doc->IsModified());
  EXPECT_TRUE(doc->AddRegistration(bad[std::size(bad) - 1]));
  EXPECT_TRUE(doc->IsModified());
  // The centre follows the points, whatever the caller said.
  SizeRegistration r = MakeRegistration(15, 10, 10, 10, 7);
  r.centerX = 99;
  EXPECT_TRUE(doc->AddRegistration(r));
  EXPECT_EQ(doc->registrations.back().centerX, 13);
  doc->BeginRegistration();
  EXPECT_EQ(doc->drawMode, kDrawStart);
  EXPECT_EQ(Last(), text::kRegisterPrompt);
}

TEST_F(DocumentTest, DeletingByPositionRenumbersAndMarksModified) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 100, 100)));
  // Two records with the same points: deleting by position removes the one chosen.
  for (int32_t len : {10, 20, 30, 40})
    ASSERT_TRUE(doc->AddRegistration(MakeRegistration(len == 30 ? 10 : 5, 5, 50, 50, len)));
  doc->SetModifiedFlag(false);
  doc->Select(3);
  CodeRecorder view;
  doc->AddView(&view);
  EXPECT_TRUE(doc->DeleteRegistrations({1, 3, 1, 17}));
  ASSERT_EQ(doc->registrations.size(), 2u);
  EXPECT_EQ(doc->registrations[0].lengthMm, 10);
  EXPECT_EQ(doc->registrations[1].lengthMm, 30);
  EXPECT_EQ(doc->selectedIndex, -1);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_NE(std::find(view.codes.begin(), view.codes.end(), code::kListChanged), view.codes.end());
  EXPECT_FALSE(doc->DeleteRegistrations({5}));
  doc->Select(7);
  EXPECT_EQ(doc->selectedIndex, -1);
  doc->RemoveView(&view);
}

TEST_F(DocumentTest, NewAndOpenDropThePhotoAndResetTheRegistrationState) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 30, 30)));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 10, 10, 50)));
  doc->Select(0);
  doc->drawMode = kDrawEnd;
  ASSERT_TRUE(doc->OnSaveDocument(work.File("p.kvp")));
  ASSERT_TRUE(doc->OnOpenDocument(work.File("p.kvp")));
  EXPECT_EQ(doc->drawMode, kDrawIdle);
  EXPECT_EQ(doc->selectedIndex, -1);
  ASSERT_TRUE(doc->OnNewDocument());
  EXPECT_FALSE(doc->HasPhoto());
  EXPECT_EQ(doc->jpegLength, 0u);
  EXPECT_FALSE(doc->image.HasImage());
  EXPECT_TRUE(doc->jpegPath.empty());
  EXPECT_TRUE(doc->registrations.empty());
}

TEST_F(DocumentTest, PublishingChecksTheInputsAndWritesWhatTheViewerReads) {
  auto doc = MakeDoc();
  doc->registrations.push_back(MakeRegistration(1, 1, 5, 5, 10));
  EXPECT_FALSE(doc->CheckPublishable());
  EXPECT_EQ(Last(), text::kNoJpeg);
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "表.jpg", 50, 40)));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(0, 0, 49, 39, 123)));
  EXPECT_TRUE(doc->CheckPublishable());

  const std::string out = work.File("out.kvi");
  ASSERT_TRUE(doc->WriteKvi(out));
  ActualSizeFile back;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(out, back, reason)) << reason;
  EXPECT_EQ(back.registrations, doc->registrations);
  EXPECT_EQ(back.jpegName, *Utf8ToCp932("表.jpg"));
  EXPECT_EQ(back.jpegBytes, doc->jpegBytes);
  EXPECT_EQ(back.link, "https://example.com/");
  EXPECT_EQ(back.logoWidth, 2);
  EXPECT_EQ(back.logoHeight, 1);
  EXPECT_EQ(back.logoBytes, doc->logoBytes);
  EXPECT_TRUE(HasUsableLogo(back));

  // Logo size disagreeing with its bytes, then no logo bytes at all.
  WriteProgramFiles(program, 3, 1, 6);
  ASSERT_TRUE(doc->LoadSettings());
  EXPECT_FALSE(doc->CheckPublishable());
  WriteProgramFiles(program, 0, 0, 0);
  ASSERT_TRUE(doc->LoadSettings());
  ASSERT_TRUE(doc->LoadLogo());
  EXPECT_FALSE(doc->CheckPublishable());
  EXPECT_EQ(Last(), text::kNoLogo);
}

TEST_F(DocumentTest, FailedSavesKeepTheEarlierFileAndAreTold) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 30, 30)));
  // Targets nobody can write, even the superuser: a device, a read-only
  // file system, a folder in the way.
  for (const std::string& target : std::vector<std::string>{"/dev/full", "/proc/kovasand-test.kvp", work.Folder()}) {
    const size_t told = messages.shown.size();
    EXPECT_FALSE(doc->OnSaveDocument(target)) << target;
    EXPECT_FALSE(doc->WriteKvi(target)) << target;
    EXPECT_EQ(messages.shown.size(), told + 2);
    // The program's text first, then the reason, in Japanese.
    EXPECT_EQ(Last().rfind(text::kWriteError, 0), 0u) << Last();
    EXPECT_EQ(Last().find("cannot"), std::string::npos) << Last();
  }

  // A full disk: a tiny file system filled up after the first save.
  const std::string mnt = work.File("small");
  fs::create_directory(mnt);
  if (std::system(("mount -t tmpfs -o size=256k tmpfs '" + mnt + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  const std::string project = mnt + "/p.kvp", kvi = mnt + "/p.kvi";
  EXPECT_TRUE(doc->OnSaveDocument(project));
  EXPECT_TRUE(doc->WriteKvi(kvi));
  const std::string savedProject = ReadText(project), savedKvi = ReadText(kvi);
  std::system(("dd if=/dev/zero of='" + mnt + "/filler' bs=4k count=1000 2>/dev/null").c_str());
  for (int i = 0; i < 50; ++i) doc->registrations.push_back(MakeRegistration(1, 1, 9, 9, i + 1));
  EXPECT_FALSE(doc->OnSaveDocument(project));
  EXPECT_FALSE(doc->WriteKvi(kvi));
  EXPECT_EQ(ReadText(project), savedProject);
  EXPECT_EQ(ReadText(kvi), savedKvi);
  std::system(("umount '" + mnt + "'").c_str());
}

bool IsLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The project, its photo and a published file lie in one folder and are
// reached through links in another; the program's files through links too.
TEST_F(DocumentTest, FilesReachedThroughLinksAreWrittenWhereTheyLie) {
  fs::create_directories(work.File("real"));
  fs::create_directories(work.File("links"));
  WritePhoto(work, "real/photo.jpg", 30, 20);
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(work.File("real/photo.jpg")));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 20, 1, 10)));
  ASSERT_TRUE(doc->OnSaveDocument(work.File("real/p.kvp")));
  ASSERT_EQ(::symlink("../real/p.kvp", work.File("links/p.kvp").c_str()), 0);

  auto other = MakeDoc();
  ASSERT_TRUE(other->OnOpenDocument(work.File("links/p.kvp")));
  EXPECT_EQ(other->jpegPath, work.File("real/photo.jpg"));
  ASSERT_EQ(other->LoadJpeg(other->jpegPath), 1);
  ASSERT_TRUE(other->AddRegistration(MakeRegistration(2, 2, 20, 2, 20)));
  ASSERT_TRUE(other->OnSaveDocument(work.File("links/p.kvp")));
  EXPECT_TRUE(IsLink(work.File("links/p.kvp")));
  const std::string saved = ReadText(work.File("real/p.kvp"));
  EXPECT_NE(saved.find("[COUNT]\n2\n[JPEG]\nphoto.jpg\n"), std::string::npos) << saved;

  WriteText(work.File("real/out.kvi"), "old");
  ASSERT_EQ(::symlink("../real/out.kvi", work.File("links/out.kvi").c_str()), 0);
  ASSERT_TRUE(other->WriteKvi(work.File("links/out.kvi")));
  EXPECT_TRUE(IsLink(work.File("links/out.kvi")));
  ActualSizeFile back;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(work.File("real/out.kvi"), back, reason)) << reason;
  EXPECT_EQ(back.registrations.size(), 2u);

  // The program's files: written through their links, the links kept.
  TempDir linkedProgram;
  for (const char* name : {kSettingsFileName, kLogoFileName})
    ASSERT_EQ(::symlink(program.File(name).c_str(), linkedProgram.File(name).c_str()), 0);
  KovasandDoc linked(Services(), linkedProgram.Folder(), temp.Folder());
  ASSERT_TRUE(linked.OnNewDocument());
  const std::vector<uint8_t> rgb(2 * 2 * 3, 0x44);
  ASSERT_TRUE(linked.SaveProgramFiles("https://links.example.jp/", 2, 2, rgb));
  EXPECT_TRUE(IsLink(linkedProgram.File(kSettingsFileName)));
  EXPECT_TRUE(IsLink(linkedProgram.File(kLogoFileName)));
  EXPECT_NE(ReadText(program.File(kSettingsFileName)).find("links.example.jp"), std::string::npos);
  EXPECT_EQ(ReadText(program.File(kLogoFileName)), std::string(rgb.begin(), rgb.end()));

  // Read-only targets behind the links: refused, told, left as they were.
  for (const std::string& real : {work.File("real/p.kvp"), work.File("real/out.kvi"),
                                 program.File(kSettingsFileName), program.File(kLogoFileName)})
    ::chmod(real.c_str(), 0444);
  const std::string kvi = ReadText(work.File("real/out.kvi"));
  ASSERT_TRUE(other->AddRegistration(MakeRegistration(3, 3, 20, 3, 30)));
  size_t told = messages.shown.size();
  EXPECT_FALSE(other->OnSaveDocument(work.File("links/p.kvp")));
  EXPECT_FALSE(other->WriteKvi(work.File("links/out.kvi")));
  EXPECT_FALSE(linked.SaveProgramFiles("https://other.example.jp/", 1, 1, {1, 2, 3}));
  EXPECT_EQ(messages.shown.size(), told + 3);
  EXPECT_NE(messages.shown[told].find("元のﾌｧｲﾙはそのままです"), std::string::npos);
  EXPECT_EQ(ReadText(work.File("real/p.kvp")), saved);
  EXPECT_EQ(ReadText(work.File("real/out.kvi")), kvi);
  EXPECT_NE(ReadText(program.File(kSettingsFileName)).find("links.example.jp"), std::string::npos);
  EXPECT_EQ(ReadText(program.File(kLogoFileName)), std::string(rgb.begin(), rgb.end()));
  EXPECT_EQ(linked.link, "https://links.example.jp/");
  for (const std::string name : {kSettingsFileName, kLogoFileName})
    ::chmod(program.File(name).c_str(), 0644);

  // A new project saved where nothing was: no word of an old file.
  told = messages.shown.size();
  EXPECT_FALSE(other->OnSaveDocument(work.File("none/p.kvp")));
  EXPECT_EQ(messages.shown.size(), told + 1);
  EXPECT_EQ(Last().find("元のﾌｧｲﾙ"), std::string::npos) << Last();
}

TEST_F(DocumentTest, UndoAndRedoOfAddingDeletingAndEditing) {
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 40, 40)));
  ASSERT_TRUE(doc->OnSaveDocument(work.File("p.kvp")));
  doc->SetModifiedFlag(false);  // as the shell does after a save
  EXPECT_FALSE(doc->CanUndo());
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 1, 20, 1, 10)));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(1, 5, 20, 5, 20)));
  ASSERT_TRUE(doc->SetRegistrationLength(0, 15));
  EXPECT_FALSE(doc->SetRegistrationLength(0, 0));  // refused, told
  ASSERT_TRUE(doc->DeleteRegistrations({1}));
  ASSERT_EQ(doc->registrations.size(), 1u);
  EXPECT_EQ(doc->registrations[0].lengthMm, 15);
  EXPECT_TRUE(doc->IsModified());
  ASSERT_TRUE(doc->Undo());  // the deletion
  ASSERT_EQ(doc->registrations.size(), 2u);
  ASSERT_TRUE(doc->Undo());  // the edit
  EXPECT_EQ(doc->registrations[0].lengthMm, 10);
  ASSERT_TRUE(doc->Undo());
  ASSERT_TRUE(doc->Undo());
  EXPECT_TRUE(doc->registrations.empty());
  EXPECT_FALSE(doc->IsModified());  // back at what was saved
  EXPECT_FALSE(doc->Undo());
  ASSERT_TRUE(doc->Redo());
  EXPECT_TRUE(doc->IsModified());
  ASSERT_TRUE(doc->Redo());
  ASSERT_TRUE(doc->Redo());
  EXPECT_EQ(doc->registrations[0].lengthMm, 15);
  // A new change forgets what could be redone.
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(2, 2, 30, 30, 40)));
  EXPECT_FALSE(doc->CanRedo());
  ASSERT_TRUE(doc->OnSaveDocument(work.File("p.kvp")));
  doc->SetModifiedFlag(false);
  ASSERT_TRUE(doc->Undo());
  EXPECT_TRUE(doc->IsModified());
  ASSERT_TRUE(doc->Redo());
  EXPECT_FALSE(doc->IsModified());
  // Opening starts a new history.
  ASSERT_TRUE(doc->OnOpenDocument(work.File("p.kvp")));
  EXPECT_FALSE(doc->CanUndo());
  EXPECT_FALSE(doc->CanRedo());
}

TEST_F(DocumentTest, LogoAndLinkSettingsAreWrittenTogetherAndPublished) {
  auto doc = MakeDoc();
  EXPECT_FALSE(doc->UsesDefaultLink());
  const std::vector<uint8_t> rgb(3 * 2 * 3, 0x33);
  ASSERT_TRUE(doc->SaveProgramFiles("https://shop.example.jp/店/", 3, 2, rgb));
  const KovasandSettings s =
      ParseSettingsFile(std::span(reinterpret_cast<const uint8_t*>(ReadText(program.File(kSettingsFileName)).data()),
                                  ReadText(program.File(kSettingsFileName)).size()));
  EXPECT_EQ(s.tags, 3);
  EXPECT_EQ(s.cx, 3);
  EXPECT_EQ(s.cy, 2);
  EXPECT_EQ(Cp932ToUtf8(s.link), "https://shop.example.jp/店/");
  EXPECT_EQ(ReadText(program.File(kLogoFileName)), std::string(rgb.begin(), rgb.end()));
  ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 20, 20)));
  ASSERT_TRUE(doc->WriteKvi(work.File("p.kvi")));
  ActualSizeFile back;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(work.File("p.kvi"), back, reason)) << reason;
  EXPECT_EQ(back.logoWidth, 3);
  EXPECT_EQ(back.logoBytes, rgb);
  EXPECT_EQ(Cp932ToUtf8(back.link), "https://shop.example.jp/店/");
  // Refused without a change: a link with a line break, a logo of the wrong size.
  EXPECT_FALSE(doc->SaveProgramFiles("https://a/\nb", 3, 2, rgb));
  EXPECT_FALSE(doc->SaveProgramFiles("https://a/", 4, 2, rgb));
  EXPECT_EQ(doc->cx, 3);

  // A program folder nobody may write, not even the superuser (an installed
  // program): the user's folder takes the files and is read first.
  TempDir user;
  const std::string installedFolder = user.Folder() + "bin/", userFolder = user.Folder() + "cfg/";
  fs::create_directory(installedFolder);
  if (std::system(("mount -t tmpfs -o size=64k tmpfs '" + installedFolder + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  fs::copy_file(program.File(kSettingsFileName), installedFolder + kSettingsFileName);
  fs::copy_file(program.File(kLogoFileName), installedFolder + kLogoFileName);
  ASSERT_EQ(std::system(("mount -o remount,ro '" + installedFolder + "'").c_str()), 0);
  {
    KovasandDoc installed(Services(), installedFolder, temp.Folder(), userFolder);
    ASSERT_TRUE(installed.OnNewDocument());
    ASSERT_TRUE(installed.SaveProgramFiles(kDefaultLogoLink, 1, 1, {1, 2, 3}));
    EXPECT_TRUE(installed.UsesDefaultLink());
    EXPECT_TRUE(fs::exists(userFolder + kSettingsFileName));
    KovasandDoc again(Services(), installedFolder, temp.Folder(), userFolder);
    ASSERT_TRUE(again.OnNewDocument());
    EXPECT_EQ(again.cx, 1);
  }
  std::system(("umount '" + installedFolder + "'").c_str());
}

TEST_F(DocumentTest, SidewaysPhotosAreWorkedUprightAndStoredAsTheyAre) {
  // Stored 60 x 40, turned a quarter clockwise to stand 40 x 60.
  const std::vector<uint8_t> jpeg =
      kv::testing::WithExif(EncodeJpeg(PatternPhoto(60, 40), 95), 6, false);
  WriteText(work.File("side.jpg"), std::string(jpeg.begin(), jpeg.end()));
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(work.File("side.jpg")));
  EXPECT_EQ(doc->PhotoOrientation(), 6);
  EXPECT_EQ(doc->image.width, 40);
  EXPECT_EQ(doc->image.height, 60);
  // Clicked on the upright photo: stored in the photo's own coordinates.
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(39, 0, 39, 50, 25)));
  const SizeRegistration stored = MakeRegistration(0, 0, 50, 0, 25);
  std::string reason;
  const std::optional<ActualSizeFile> f = doc->MakeActualSizeFile(reason);
  ASSERT_TRUE(f) << reason;
  ASSERT_EQ(f->registrations.size(), 1u);
  EXPECT_EQ(f->registrations[0], stored);
  ASSERT_TRUE(doc->OnSaveDocument(work.File("side.kvp")));
  EXPECT_NE(ReadText(work.File("side.kvp")).find("[DATA]\n0\n0\n50\n0\n"), std::string::npos);
  // Read back: stored until the photo is there, then upright again.
  ASSERT_TRUE(doc->OnOpenDocument(work.File("side.kvp")));
  EXPECT_EQ(doc->StoredRegistrations()[0], stored);
  ASSERT_EQ(doc->LoadJpeg(doc->jpegPath), 1);
  EXPECT_EQ(doc->registrations[0], MakeRegistration(39, 0, 39, 50, 25));
  EXPECT_EQ(doc->StoredRegistrations()[0], stored);
}

TEST_F(DocumentTest, PreviewFilesArePrivateAndGoWithTheDocument) {
  std::vector<std::string> files;
  std::string folder;
  {
    auto doc = MakeDoc();
    // Without a photo the preview still writes (the viewer shows nothing).
    ASSERT_TRUE(doc->WritePreview());
    ASSERT_TRUE(doc->ImportJpeg(WritePhoto(work, "p.jpg", 30, 30)));
    for (int i = 0; i < 3; ++i) {
      const std::optional<std::string> path = doc->WritePreview();
      ASSERT_TRUE(path);
      ActualSizeFile back;
      std::string reason;
      EXPECT_TRUE(ReadActualSizeFile(*path, back, reason)) << reason;
    }
    files = doc->TempFiles();
    folder = doc->PreviewFolder();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()).size(), 4u);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(folder.rfind(temp.Folder(), 0), 0u);
    for (const std::string& f : files) EXPECT_EQ(f.rfind(folder, 0), 0u);
  }
  for (const std::string& f : files) EXPECT_FALSE(fs::exists(f)) << f;
  EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
}  // namespace kv::authoring

namespace kv::authoring {
namespace {

// The logo and settings the build puts beside the programs agree with each
// other, so a fresh build can publish.
TEST(BuiltProgramFiles, LoadAndPublish) {
  const char* bin = std::getenv("KV_BIN_DIR");
  if (!bin || !std::filesystem::exists(std::string(bin) + "/" + kLogoFileName))
    GTEST_SKIP() << "the build's program files are not there";
  testing::RecordingMessages messages;
  testing::TempDir work, temp;
  KovasandDoc doc(platform::Services{&messages, nullptr, nullptr}, std::string(bin) + "/",
                  temp.Folder());
  ASSERT_TRUE(doc.OnNewDocument());
  ASSERT_TRUE(doc.ImportJpeg(testing::WritePhoto(work, "p.jpg", 30, 20)));
  EXPECT_TRUE(doc.CheckPublishable());
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace kv::authoring
