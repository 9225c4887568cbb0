// TCompressor against the simulated Windows: loading impborl.dll from the Windows directory,
// every way that can fail, and expanding one buffer into a file.
#include "compression/compressor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "compression/implode.h"  // crc32Of
#include "errors/messages.h"
#include "platform/sim/sim_os.h"
#include "support/seeded_bytes.h"
#include "support/sim_test.h"

namespace {

const char kLibraryPath[] = "C:\\WINDOWS\\impborl.dll";
const char kDestination[] = "C:\\WINDOWS\\Sunset.scr";
const char kLoadWarning[] =
    "System Error: System experiencing problem using compression library. Application will attempt to "
    "continue with compression disabled.\r\n\r\n";
const char kExpandError[] = "Zip Error: Problem expanding file in memory.\r\n\r\n";

// A binary-mode stream with a 4096-byte dictionary that spells `text` out as literals and
// ends with the end code: valid for any bytes, and independent of any encoder.
std::vector<uint8_t> literalStream(const std::string& text) {
  std::vector<uint8_t> stream = {0x00, 0x06};
  int used = 8;
  auto put = [&](int bit) {
    if (used == 8) {
      stream.push_back(0);
      used = 0;
    }
    stream.back() |= static_cast<uint8_t>(bit << used++);
  };
  for (unsigned char byte : text) {
    put(0);
    for (int i = 0; i < 8; ++i) put((byte >> i) & 1);
  }
  put(1);                              // a copy...
  for (int i = 0; i < 7; ++i) put(0);  // ...of the longest length code...
  for (int i = 0; i < 8; ++i) put(1);  // ...with all extra bits set: the end code
  return stream;
}

class CompressorTest : public pqtest::SimTest<> {
protected:
  CompressorTest() : SimTest("compressor") { resetCompressionState(); }

  void installLibrary() { sim.putFile(kLibraryPath, "MZ our codec"); }

  TResult expand(TCompressor& compressor, const std::vector<uint8_t>& stream, const std::string& path = kDestination) {
    return compressor.expandToFile(path, stream.data(), static_cast<uint32_t>(stream.size()));
  }

  std::string destination() { return sim.fileContents(kDestination).value_or("<missing>"); }

  bool calledWith(const std::string& call, const std::string& argument) {
    return std::find(sim.callLog.begin(), sim.callLog.end(), call + " " + argument) != sim.callLog.end();
  }
};

// ---- Finding and loading the library ---------------------------------------------------

TEST_F(CompressorTest, WindowsDirectoryWithoutBackslashGetsOneBeforeTheLibraryName) {
  installLibrary();
  sim.setWindowsDirectoryReported("C:\\WINDOWS");
  TCompressor compressor;
  EXPECT_TRUE(compressor.loaded());
  EXPECT_TRUE(calledWith("findFirstFile", kLibraryPath));
  EXPECT_TRUE(calledWith("loadLibrary", kLibraryPath));
}

TEST_F(CompressorTest, WindowsDirectoryWithBackslashIsNotGivenASecondOne) {
  installLibrary();
  sim.setWindowsDirectoryReported("C:\\WINDOWS\\");
  TCompressor compressor;
  EXPECT_TRUE(compressor.loaded());
  EXPECT_TRUE(calledWith("loadLibrary", kLibraryPath));
  for (const std::string& line : sim.callLog) EXPECT_EQ(line.find("\\\\"), std::string::npos) << line;
}

TEST_F(CompressorTest, AbsentLibraryLeavesEveryBindingUnloadedWithoutAMessage) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    TCompressor compressor;
    EXPECT_FALSE(compressor.loaded());
  }
  EXPECT_TRUE(sim.errorDialogs.empty());
  EXPECT_EQ(sim.libraryLoads, 0);
}

TEST_F(CompressorTest, DirectoryNamedLikeTheLibraryDoesNotCountAsTheLibrary) {
  sim.makeDirectory(kLibraryPath);
  TCompressor compressor;
  EXPECT_FALSE(compressor.loaded());
  EXPECT_FALSE(calledWith("loadLibrary", kLibraryPath));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(CompressorTest, LoadFailureWarnsOncePerRunWithTheSystemText) {
  installLibrary();
  sim.failLibraryLoads(pq::kWinErrorBadExeFormat);
  {
    TCompressor first;
    EXPECT_FALSE(first.loaded());
  }
  {
    TCompressor second;
    EXPECT_FALSE(second.loaded());
  }
  ASSERT_EQ(sim.errorDialogs.size(), 1u);
  EXPECT_EQ(sim.errorDialogs[0], kLoadWarning + systemErrorText(pq::kWinErrorBadExeFormat));
  EXPECT_FALSE(showCompressionWarning);

  // A new run (as the tests reset it) warns again.
  resetCompressionState();
  TCompressor third;
  EXPECT_EQ(sim.errorDialogs.size(), 2u);
}

TEST_F(CompressorTest, MissingExportUnloadsAtOnceAndSaysNothing) {
  for (const char* name : {"_implode", "_explode", "_crc32"}) {
    SCOPED_TRACE(name);
    pq::SimOs local(root / name);
    pq::ScopedSimOs localScope(local);
    local.putFile(kLibraryPath, "MZ");
    local.omitLibraryExport(name);
    {
      TCompressor compressor;
      EXPECT_FALSE(compressor.loaded());
      EXPECT_EQ(local.libraryLoads, 1);
      EXPECT_EQ(local.libraryFrees, 1);
    }
    EXPECT_EQ(local.libraryFrees, 1);
    EXPECT_TRUE(local.errorDialogs.empty());
  }
}

TEST_F(CompressorTest, EachBindingLoadsAndUnloadsTheLibraryOnce) {
  installLibrary();
  for (int entry = 1; entry <= 3; ++entry) {
    TCompressor compressor;
    EXPECT_TRUE(compressor.loaded());
    EXPECT_EQ(sim.libraryLoads, entry);
    EXPECT_EQ(sim.libraryFrees, entry - 1);
  }
  EXPECT_EQ(sim.libraryFrees, 3);
}

// ---- Expanding -------------------------------------------------------------------------

TEST_F(CompressorTest, ExpandsAbcAndKeepsTheStandardCrcOfTheOutput) {
  installLibrary();
  const std::vector<uint8_t> stream = {0x00, 0x06, 0xC2, 0x88, 0x19, 0x0B, 0xF8, 0x07};
  ASSERT_EQ(literalStream("abc"), stream);
  TCompressor compressor;
  EXPECT_EQ(expand(compressor, stream), kErr_None);
  EXPECT_EQ(destination(), "abc");
  EXPECT_EQ(compressor.crcWrittenValue(), 0x352441C2u);
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(CompressorTest, UnloadedBindingLeavesAnEmptyDestinationAndSucceeds) {
  TCompressor compressor;
  ASSERT_FALSE(compressor.loaded());
  EXPECT_EQ(expand(compressor, literalStream("some text that will not be expanded")), kErr_None);
  EXPECT_EQ(destination(), "");
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(CompressorTest, StreamOfFourBytesOrFewerLeavesAnEmptyFile) {
  installLibrary();
  const std::vector<uint8_t> full = literalStream(pqtest::seededBytes<std::string>(1000, 7));
  for (size_t length : {0u, 1u, 2u, 4u}) {
    SCOPED_TRACE(length);
    sim.deleteFile(kDestination);
    TCompressor compressor;
    EXPECT_EQ(expand(compressor, std::vector<uint8_t>(full.begin(), full.begin() + length)), kErr_None);
    EXPECT_EQ(destination(), "");
  }
  // The end code alone is a complete stream, but four bytes are too few for the library.
  sim.deleteFile(kDestination);
  TCompressor compressor;
  EXPECT_EQ(expand(compressor, {0x00, 0x06, 0x01, 0xFF}), kErr_None);
  EXPECT_EQ(destination(), "");
}

TEST_F(CompressorTest, TruncatedStreamLeavesWhatWasDecodedBeforeTheInputRanOut) {
  installLibrary();
  const std::string original = pqtest::seededBytes<std::string>(20000, 11);
  const std::vector<uint8_t> full = literalStream(original);
  TCompressor compressor;
  EXPECT_EQ(expand(compressor, std::vector<uint8_t>(full.begin(), full.begin() + full.size() / 2)), kErr_None);
  const std::string written = destination();
  EXPECT_GT(written.size(), 4096u);
  EXPECT_LT(written.size(), original.size());
  EXPECT_EQ(written, original.substr(0, written.size()));
}

TEST_F(CompressorTest, OutputOfTwoWholeBlocksEndsWithAnEmptyWriteThatChangesNothing) {
  installLibrary();
  const std::string original = pqtest::seededBytes<std::string>(8192, 3);
  TCompressor compressor;
  EXPECT_EQ(expand(compressor, literalStream(original)), kErr_None);
  EXPECT_EQ(destination(), original);
  // Two blocks reach the file; the empty final call does not.
  EXPECT_EQ(std::count(sim.callLog.begin(), sim.callLog.end(), std::string("write ") + kDestination), 2);
  EXPECT_EQ(compressor.crcWrittenValue(),
            pq::crc32Of(reinterpret_cast<const uint8_t*>(original.data()), original.size()));
}

TEST_F(CompressorTest, LargeOutputIsWrittenWholeWithItsCrc) {
  installLibrary();
  const std::string original = pqtest::seededBytes<std::string>(300001, 5);
  TCompressor compressor;
  EXPECT_EQ(expand(compressor, literalStream(original)), kErr_None);
  EXPECT_EQ(destination(), original);
  EXPECT_EQ(compressor.crcWrittenValue(),
            pq::crc32Of(reinterpret_cast<const uint8_t*>(original.data()), original.size()));
}

// A file already at the path, whoever put it there, is never opened, truncated or written.
TEST_F(CompressorTest, AFileAlreadyAtThePathIsLeftAloneAndReported) {
  installLibrary();
  sim.putFile(kDestination, "old");
  TCompressor compressor;
  EXPECT_EQ(expand(compressor, literalStream("abc")), static_cast<TResult>(pq::kWinErrorFileExists));
  EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{kExpandError + systemErrorText(pq::kWinErrorFileExists)});
  EXPECT_EQ(destination(), "old");
}

// A file that cannot be created, or whose bytes cannot be flushed to the disk, is reported
// with the system's text, and never as success, even when the system kept no error number
// (whose text would say the operation succeeded).
TEST_F(CompressorTest, AFileThatCannotBeCreatedOrFlushedShowsTheZipErrorAndReturnsTheCode) {
  installLibrary();
  const struct {
    const char* call;
    uint32_t error;
    TResult code;
    std::string dialog;
  } cases[] = {
      {"openFile", pq::kWinErrorAccessDenied, 5, kExpandError + systemErrorText(pq::kWinErrorAccessDenied)},
      {"openFile", pq::kWinErrorSuccess, kErr_Unspecified, kExpandError},
      {"flush", pq::kWinErrorDiskFull, 112, kExpandError + systemErrorText(pq::kWinErrorDiskFull)},
      {"flush", pq::kWinErrorSuccess, kErr_Unspecified, kExpandError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.error));
    sim.errorDialogs.clear();
    sim.deleteFile(kDestination);
    sim.failCall(c.call, c.error, "Sunset.scr");
    TCompressor compressor;
    EXPECT_EQ(expand(compressor, literalStream("abc")), c.code);
    EXPECT_EQ(sim.errorDialogs, std::vector<std::string>{c.dialog});
  }
}

TEST_F(CompressorTest, FailedWritesAreLeftForTheSizeCheck) {
  installLibrary();
  sim.failCall("write", pq::kWinErrorDiskFull, "", 1, -1);
  const std::string original = pqtest::seededBytes<std::string>(20000, 9);
  TCompressor compressor;
  EXPECT_EQ(expand(compressor, literalStream(original)), kErr_None);
  EXPECT_EQ(destination(), original.substr(0, 4096));
  EXPECT_TRUE(sim.errorDialogs.empty());
}

TEST_F(CompressorTest, CallbacksOutsideAnExpansionDoNothing) {
  char buffer[16] = {};
  uint32_t size = sizeof buffer;
  EXPECT_EQ(TCompressor::readCallback(buffer, &size, nullptr), 0u);
  TCompressor::writeCallback(buffer, &size, nullptr);
  TCompressor idle;
  EXPECT_EQ(TCompressor::readCallback(buffer, &size, &idle), 0u);
  TCompressor::writeCallback(buffer, &size, &idle);
  EXPECT_EQ(idle.crcWrittenValue(), 0u);
}

} // namespace
