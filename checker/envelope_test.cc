#include "checker/envelope.h"

#include <gtest/gtest.h>

#include "checker/testing/checker_scratch.h"

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
      {"CrLfAndHeaderWords", "From: Joe <joe@x.com>\r\nTO: ann@y.org\r\n", E::Found, "JOE@X.COM", "ANN",
       "Y.ORG"},
      {"FirstRecipientWins", "S<a@b>\nR<one@x>\nR<two@x>\n", E::Found, "A@B", "ONE", "X"},
      {"SenderAfterRecipient", "R<ann@x>\nX\nY\nS<joe@y>\n", E::Found, "JOE@Y", "ANN", "X"},
      {"ColonWithoutSpaceIsNoSender", "FROM:joe@y\nR<ann@x>\n", E::Found, "", "ANN", "X"},
      {"SecondSenderIgnored", "S<a@b>\nS<nobody>\nR<ann@x>\n", E::Found, "A@B", "ANN", "X"},
      {"BadSender", "S<nobody>\nR<ann@x>\n", E::BadSender, "", "", ""},
      {"EmptyLocalPartThenNext", "R<@x>\nR<bob@y>\n", E::Found, "", "BOB", "Y"},
      {"EmptyLocalPartThenBad", "R<@x>\nR<bad>\n", E::BadRecipient, "", "", ""},
      {"EmptyLocalPartOnly", "R<@x>\n", E::NoRecipient, "", "", ""},
      {"RecipientOnLine151", lines(150, "X\n") + "R<a@b>\n", E::Found, "", "A", "B"},
      {"RecipientOnLine152", lines(151, "X\n") + "R<a@b>\n", E::NoRecipient, "", "", ""},
      {"CtrlZEndsFile", "S<a@b>\n\x1aR<c@d>\n", E::NoRecipient, "", "", ""},
      {"ZeroByteEndsPiece", std::string("R<a@b>\0@junk\n", 13), E::Found, "", "A", "B"},
      {"TabEndsLine", "R<a@b>\t@junk\n", E::Found, "", "A", "B"},
      // The second 99-character piece of a long line is a line of its own.
      {"LongLineSecondPiece", std::string(99, 'X') + "R<a@b>\n", E::Found, "", "A", "B"},
      {"LongLineCountsTwice", lines(76, std::string(120, 'X') + "\n") + "R<a@b>\n",
       E::NoRecipient, "", "", ""},
      {"LongAddressCut", "R<" + std::string(120, 'A') + "@x>\n", E::BadRecipient, "", "", ""},
  };
  for (const auto& c : cases) {
    TextReader reader(c.bytes.data(), c.bytes.size());
    Envelope envelope;
    CheckObserver quiet;
    EXPECT_EQ(read_envelope(reader, envelope, quiet), c.outcome) << c.name;
    if (c.outcome != EnvelopeOutcome::Found) continue;
    EXPECT_STREQ(envelope.sender, c.sender) << c.name;
    EXPECT_EQ(std::string(envelope.recipient), std::string(c.local_part) + "@" + c.domain) << c.name;
    EXPECT_STREQ(envelope.local_part, c.local_part) << c.name;
    EXPECT_STREQ(envelope.domain, c.domain) << c.name;
  }
}

class EnvelopeTrace : public CheckerScratch {};

TEST_F(EnvelopeTrace, DebugLevelTracesLinesAsRead) {
  const std::string bytes = "s<joe@x>\r\nX-50%\nR<ann@y>\nNOT READ\n";
  TextReader reader(bytes.data(), bytes.size());
  Envelope envelope;
  LogTrace debug = trace(LogLevel::Debug);
  read_envelope(reader, envelope, debug);
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
    TextReader reader(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(read_subject(reader), c.subject) << c.bytes.substr(0, 40);
  }
}

}  // namespace
