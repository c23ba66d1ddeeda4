#include "checker/envelope.h"

#include <gtest/gtest.h>

#include "checker/test_support.h"

namespace {

TEST(Envelope, PathAndIdentifier) {
  struct Case {
    const char* message;
    const char* envelope;
    const char* identifier;
  } cases[] = {
      {"C:\\SPOOL\\D5F1A.SMD", "C:\\SPOOL\\_5F1A.~MD", "D5F1A"},
      {"D1.SMD", "_1.~MD", "D1"},
      {"C:\\MY.DIR\\D1.SMD", "~BAD", "D1"},  // the first "." of the whole path counts
      {"D1.SM", "~BAD", "D1"},
      {"C:\\SPOOL\\", "~BAD", ""},
      {"D.SM", "~BAD", "D"},  // shorter than five characters
      {"", "~BAD", "~BAD"},
      {"C:/SPOOL/D1.SMD", "_:/SPOOL/D1.~MD", "C:/SPOOL/D1"},  // "/" is no separator
      {"\\A.B.C", "\\_.~.C", "A"},  // three characters after the first "."
  };
  for (const Case& c : cases) {
    EXPECT_EQ(envelope_path(c.message), c.envelope) << c.message;
    EXPECT_EQ(message_identifier(c.message), c.identifier) << c.message;
  }
}

std::string lines(int count, const std::string& line) {
  std::string out;
  for (int i = 0; i < count; ++i) out += line;
  return out;
}

TEST(ReadEnvelope, FindsSenderAndFirstRecipient) {
  using E = EnvelopeOutcome;
  const struct {
    const char* name;
    std::string bytes;
    EnvelopeOutcome outcome;
    const char* sender;
    const char* local_part;
    const char* domain;
  } cases[] = {
      {"CrLfAndHeaderWords", "From: Joe <joe@x.com>\r\nTO: ann@y.org\r\n", E::kFound, "JOE@X.COM", "ANN",
       "Y.ORG"},
      {"FirstRecipientWins", "S<a@b>\nR<one@x>\nR<two@x>\n", E::kFound, "A@B", "ONE", "X"},
      {"SenderAfterRecipient", "R<ann@x>\nX\nY\nS<joe@y>\n", E::kFound, "JOE@Y", "ANN", "X"},
      {"ColonWithoutSpaceIsNoSender", "FROM:joe@y\nR<ann@x>\n", E::kFound, "", "ANN", "X"},
      {"SecondSenderIgnored", "S<a@b>\nS<nobody>\nR<ann@x>\n", E::kFound, "A@B", "ANN", "X"},
      {"BadSender", "S<nobody>\nR<ann@x>\n", E::kBadSender, "", "", ""},
      {"EmptyLocalPartThenNext", "R<@x>\nR<bob@y>\n", E::kFound, "", "BOB", "Y"},
      {"EmptyLocalPartThenBad", "R<@x>\nR<bad>\n", E::kBadRecipient, "", "", ""},
      {"EmptyLocalPartOnly", "R<@x>\n", E::kNoRecipient, "", "", ""},
      {"RecipientOnLine151", lines(150, "X\n") + "R<a@b>\n", E::kFound, "", "A", "B"},
      {"RecipientOnLine152", lines(151, "X\n") + "R<a@b>\n", E::kNoRecipient, "", "", ""},
      {"CtrlZEndsFile", "S<a@b>\n\x1aR<c@d>\n", E::kNoRecipient, "", "", ""},
      {"ZeroByteEndsPiece", std::string("R<a@b>\0@junk\n", 13), E::kFound, "", "A", "B"},
      {"TabEndsLine", "R<a@b>\t@junk\n", E::kFound, "", "A", "B"},
      // The second 99-character piece of a long line is a line of its own.
      {"LongLineSecondPiece", std::string(99, 'X') + "R<a@b>\n", E::kFound, "", "A", "B"},
      {"LongLineCountsTwice", lines(76, std::string(120, 'X') + "\n") + "R<a@b>\n",
       E::kNoRecipient, "", "", ""},
      {"LongAddressCut", "R<" + std::string(120, 'A') + "@x>\n", E::kBadRecipient, "", "", ""},
  };
  for (const auto& c : cases) {
    std::FILE* file = memory_file(c.bytes);
    TextReader reader(file);
    Envelope envelope;
    EXPECT_EQ(read_envelope(reader, envelope), c.outcome) << c.name;
    std::fclose(file);
    if (c.outcome != EnvelopeOutcome::kFound) continue;
    EXPECT_STREQ(envelope.sender, c.sender) << c.name;
    EXPECT_EQ(std::string(envelope.recipient), std::string(c.local_part) + "@" + c.domain) << c.name;
    EXPECT_STREQ(envelope.local_part, c.local_part) << c.name;
    EXPECT_STREQ(envelope.domain, c.domain) << c.name;
  }
}

class EnvelopeTrace : public CheckerScratch {};

TEST_F(EnvelopeTrace, DebugLevelTracesLinesAsRead) {
  set_log_level(kDebug);
  std::FILE* file = memory_file("s<joe@x>\r\nX-50%\nR<ann@y>\nNOT READ\n");
  TextReader reader(file);
  Envelope envelope;
  read_envelope(reader, envelope);
  std::fclose(file);
  EXPECT_EQ(log_text(),
            "Line 0:s<joe@x>\r\n\r\n1.2.2  Detected From Address\r\n"
            "Line 1:X-50%\r\n\r\n"
            "Line 2:R<ann@y>\r\n\r\n1.2.3  Detected To Address\r\n");
}

TEST(ReadSubject, TakesTextAfterColonAndOneCharacter) {
  struct Case {
    std::string bytes;
    std::string subject;
  } cases[] = {
      {"From: x\nSubject: Re: hello\n", "RE: HELLO"},
      {"Subject:Hello\n", "ELLO"},
      {"Subject:   x  \r\n", "X"},
      {"Subject:\n", ""},
      {"Subject:\t hello\n", ""},
      {"Subject: a\nSubject: b\n", "A"},
      {"X-Subject: a\n", ""},
      {lines(150, "X\n") + "Subject: found\n", "FOUND"},
      {lines(151, "X\n") + "Subject: late\n", ""},
      {"Subject: " + std::string(200, 'y') + "\n", std::string(90, 'Y')},
      {"Subject: tab\there\n", "TAB"},
  };
  for (const Case& c : cases) {
    std::FILE* file = memory_file(c.bytes);
    TextReader reader(file);
    EXPECT_EQ(read_subject(reader), c.subject) << c.bytes.substr(0, 40);
    std::fclose(file);
  }
}

}  // namespace
