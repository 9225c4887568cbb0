// pqpack implode and pqpack explode: files in, files out, exit statuses.
#include <gtest/gtest.h>

#include "compression/implode.h"
#include "support/pqpack_support.h"

using namespace pqtest;

TEST(PqpackCodecCommands, ImplodeThenExplodeGivesTheFileBack) {
  ScratchFolder folder;
  const Bytes input = compressibleBytes(50000, 3);
  writeFile(folder / "in", input);
  ASSERT_EQ(run("implode", {folder / "in", folder / "stream"}).status, 0);
  const Bytes stream = readFile(folder / "stream");
  ASSERT_GE(stream.size(), 2u);
  EXPECT_EQ(stream[0], 0x00); // binary literals by default
  EXPECT_EQ(stream[1], 0x06); // 4096-byte dictionary by default
  EXPECT_LT(stream.size(), input.size() / 2);
  const CommandRun exploded = run("explode", {folder / "stream", folder / "out"});
  EXPECT_EQ(exploded.status, 0);
  EXPECT_EQ(exploded.err, "");
  EXPECT_EQ(readFile(folder / "out"), input);
}

TEST(PqpackCodecCommands, OptionsReachTheHeaderAndBestIsNoLarger) {
  ScratchFolder folder;
  const Bytes input = compressibleBytes(30000, 4);
  writeFile(folder / "in", input);
  ASSERT_EQ(run("implode", {"--ascii", "--dict", "1024", folder / "in", folder / "fast"}).status, 0);
  ASSERT_EQ(run("implode", {"--level", "best", "--ascii", "--dict", "1024", folder / "in", folder / "best"}).status,
            0);
  ASSERT_EQ(run("implode", {"--threads", "3", "--level", "best", "--ascii", "--dict", "1024", folder / "in",
                                 folder / "best3"})
                .status,
            0);
  const Bytes fast = readFile(folder / "fast");
  const Bytes best = readFile(folder / "best");
  EXPECT_EQ(readFile(folder / "best3"), best);
  EXPECT_EQ(fast[0], 0x01);
  EXPECT_EQ(fast[1], 0x04);
  EXPECT_LE(best.size(), fast.size());
  ASSERT_EQ(run("explode", {folder / "best", folder / "out"}).status, 0);
  EXPECT_EQ(readFile(folder / "out"), input);
}

TEST(PqpackCodecCommands, ExplodeExitsWithTheDecodersResultAndKeepsWhatWasDelivered) {
  ScratchFolder folder;
  const Bytes input = noiseBytes(10000, 5);
  std::vector<uint8_t> stream;
  ASSERT_EQ(pq::implodeBuffer(input.data(), input.size(), {}, &stream), PQ_CMP_NO_ERROR);
  struct Case {
    const char* label;
    Bytes stream;
    int status;
  };
  Bytes badMode = stream, badDictionary = stream;
  badMode[0] = 2;
  badDictionary[1] = 7;
  const Case cases[] = {{"cut", Bytes(stream.begin(), stream.begin() + stream.size() / 2), 4},
                        {"four bytes", Bytes(stream.begin(), stream.begin() + 4), 3},
                        {"bad mode", badMode, 2},
                        {"bad dictionary", badDictionary, 1}};
  for (const Case& c : cases) {
    writeFile(folder / "stream", c.stream);
    writeFile(folder / "out", bytesOf("old contents"));
    const CommandRun exploded = run("explode", {folder / "stream", folder / "out"});
    EXPECT_EQ(exploded.status, c.status) << c.label;
    EXPECT_NE(exploded.err, "") << c.label;
    const Bytes out = readFile(folder / "out");
    if (c.status == 4) {
      EXPECT_GT(out.size(), 0u);
      EXPECT_LT(out.size(), input.size());
      EXPECT_TRUE(std::equal(out.begin(), out.end(), input.begin()));
    } else {
      EXPECT_TRUE(out.empty()) << c.label;
    }
  }
}

TEST(PqpackCodecCommands, BadArgumentsAndUnreadableInputAreRefusedWithAMessage) {
  ScratchFolder folder;
  writeFile(folder / "in", bytesOf("some bytes"));
  const Args implodeFaults[] = {{"--dict", "3000", folder / "in", folder / "out"},
                                {"--level", "slow", folder / "in", folder / "out"},
                                {"--dict"},
                                {"--fast", folder / "in", folder / "out"},
                                {folder / "in"}};
  for (const Args& args : implodeFaults) {
    const CommandRun result = run("implode", args);
    EXPECT_EQ(result.status, pqpack::kExit_Usage);
    EXPECT_EQ(result.err.rfind("pqpack implode: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("\nRun 'pqpack implode --help' for more information.\n"), std::string::npos);
  }
  // explode's own errors stay clear of the decoder's results 0 to 4.
  EXPECT_EQ(run("explode", {folder / "in"}).status, pqpack::kExplodeExit_Usage);
  EXPECT_EQ(run("explode", {"-x", folder / "in", folder / "out"}).status, pqpack::kExplodeExit_Usage);

  const CommandRun missing = run("explode", {folder / "absent", folder / "out"});
  EXPECT_EQ(missing.status, pqpack::kExplodeExit_NoInput);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
  EXPECT_EQ(run("explode", {folder / "in", folder / "no such folder/out"}).status,
            pqpack::kExplodeExit_CannotWrite);
  EXPECT_EQ(run("implode", {folder / "absent", folder / "out"}).status, pqpack::kExit_Failure);
  EXPECT_EQ(run("implode", {folder / "in", folder / "no such folder/out"}).status, pqpack::kExit_Failure);
}

TEST(PqpackCodecCommands, HelpExplainsTheExitStatuses) {
  const CommandRun help = run("explode", {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: pqpack explode [OPTIONS] IN OUT"), std::string::npos);
  EXPECT_NE(help.out.find("4 the stream ended before its end code"), std::string::npos);
  EXPECT_EQ(run("implode", {"--help"}).status, 0);
}

TEST(PqpackCommandLine, EveryCommandSharesTheHelpAndTheUsageErrors) {
  const CommandRun overview = run({"--help"});
  EXPECT_EQ(overview.status, pqpack::kExit_Done);
  for (const char* command : {"build", "list", "verify", "extract", "ssd", "implode", "explode"}) {
    SCOPED_TRACE(command);
    EXPECT_NE(overview.out.find(std::string("\n  ") + command + " "), std::string::npos);
    const CommandRun help = run({command, "-h"});
    EXPECT_EQ(help.status, pqpack::kExit_Done);
    EXPECT_NE(help.out.find(std::string("Usage: pqpack ") + command + " [OPTIONS]"), std::string::npos) << help.out;
    // An unknown option is the mistake named, before the arguments it leaves missing.
    const CommandRun wrong = run({command, "--no-such-option"});
    EXPECT_EQ(wrong.status, std::string(command) == "explode" ? pqpack::kExplodeExit_Usage : pqpack::kExit_Usage);
    // One line that names the command, and the hint.
    const std::string hint = std::string("\nRun 'pqpack ") + command + " --help' for more information.\n";
    EXPECT_EQ(wrong.err.rfind(std::string("pqpack ") + command + ": unknown option '--no-such-option'\n", 0), 0u)
        << wrong.err;
    EXPECT_EQ(wrong.err.find('\n'), wrong.err.size() - hint.size()) << wrong.err;
    EXPECT_EQ(wrong.err.substr(wrong.err.size() - hint.size()), hint);
  }
  EXPECT_NE(overview.out.find("Exit status: 0 done, 1 failed"), std::string::npos);
  const CommandRun none = run({});
  EXPECT_EQ(none.status, pqpack::kExit_Usage);
  EXPECT_EQ(none.err, "pqpack: a command is required\nRun 'pqpack --help' for more information.\n");
  EXPECT_EQ(run({"bild"}).err,
            "pqpack: unknown command 'bild'\nRun 'pqpack --help' for more information.\n");
  EXPECT_EQ(run({"--version"}).out.rfind("pqpack ", 0), 0u);
}
