#include "messaging/xml_packet.h"

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "tests/support/thrown_message.h"
#include "xml/xml_exception.h"

namespace kestova {
namespace {

using test::ThrownMessage;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string kExample = kDeclaration +
                             "<msg><sender>POS1</sender><target>Display1</target><command>SHOW_MESSAGE</command>"
                             "<params>LINE1=Hello,LINE2=World</params></msg>";

using Items = std::vector<std::string>;

std::string Msg(const std::string& sender, const std::string& target, const std::string& command,
                const std::string& params) {
  return "<msg><sender>" + sender + "</sender><target>" + target + "</target><command>" + command +
         "</command><params>" + params + "</params></msg>";
}

void ExpectInitialState(const TXmlPacket& p, const std::string& context) {
  EXPECT_EQ(p.Sender(), "") << context;
  EXPECT_EQ(p.Target(), "") << context;
  EXPECT_EQ(p.Topic(), "") << context;
  EXPECT_EQ(p.TopicResponse(), "") << context;
  EXPECT_EQ(p.Command(), TCommand::REFRESH_REPORT) << context;
  EXPECT_TRUE(p.Params().Empty()) << context;
  EXPECT_FALSE(p.FreeOnSend()) << context;
  EXPECT_EQ(p.Qos(), TMqttQoS::qosAtMostOnce) << context;
}

TEST(XmlPacketTest, BuildsAndRendersTheExample) {
  TXmlPacket p("pos/topic", "POS1", "Display1", TCommand::SHOW_MESSAGE, "LINE1=Hello,LINE2=World");
  EXPECT_EQ(p.Topic(), "pos/topic");
  EXPECT_EQ(p.TopicResponse(), "pos/topic");
  EXPECT_TRUE(p.FreeOnSend());
  EXPECT_EQ(p.Qos(), TMqttQoS::qosAtMostOnce);
  EXPECT_TRUE(p.Params().StrictDelimiter());
  EXPECT_EQ(p.Params().Items(), (Items{"LINE1=Hello", "LINE2=World"}));
  EXPECT_EQ(p.ToString(), kExample);
  EXPECT_EQ(p.ToString(), p.ToString()) << "rendering does not change the packet";
}

TEST(XmlPacketTest, ParsesTheExampleBack) {
  TXmlPacket p(kExample);
  EXPECT_EQ(p.Sender(), "POS1");
  EXPECT_EQ(p.Target(), "Display1");
  EXPECT_EQ(p.Command(), TCommand::SHOW_MESSAGE);
  EXPECT_EQ(p.Params().Items(), (Items{"LINE1=Hello", "LINE2=World"}));
  EXPECT_EQ(p.Params().Values("line1"), "Hello");
  EXPECT_EQ(p.Topic(), "");
  EXPECT_FALSE(p.FreeOnSend());
  EXPECT_EQ(p.ToString(), kExample);
}

TEST(XmlPacketTest, EmptyFieldsAreStartAndEndTags) {
  TXmlPacket p("", "Display1", "", TCommand::ENUM_DISPLAYS_ANS, "");
  p.Params().SetCommaText("DisplayId=Display1");
  EXPECT_EQ(p.ToString(), kDeclaration + Msg("Display1", "", "ENUM_DISPLAYS_ANS", "DisplayId=Display1"));
  TXmlPacket empty("", "", "", TCommand::REFRESH_REPORT, "");
  EXPECT_EQ(empty.ToString(), kDeclaration + Msg("", "", "REFRESH_REPORT", ""));
}

TEST(XmlPacketTest, ParameterItemsThroughCommaTextAndXmlEscaping) {
  TXmlPacket p("", "a&b", "<t>", TCommand::SHOW_MESSAGE, "");
  p.Params().Add("LINE1=Hello, world");
  p.Params().Add("LINE2=say \"hi\"");
  p.Params().Add("LINE3=it's a b");
  const std::string text = p.ToString();
  EXPECT_EQ(text, kDeclaration + Msg("a&amp;b", "&lt;t&gt;", "SHOW_MESSAGE",
                                     "&quot;LINE1=Hello, world&quot;,&quot;LINE2=say &quot;&quot;hi&quot;&quot;&quot;,"
                                     "LINE3=it&apos;s a b"));
  TXmlPacket back(text);
  EXPECT_EQ(back.Sender(), "a&b");
  EXPECT_EQ(back.Target(), "<t>");
  EXPECT_EQ(back.Params().Items(), (Items{"LINE1=Hello, world", "LINE2=say \"hi\"", "LINE3=it's a b"}));
}

TEST(XmlPacketTest, LineEndsInFields) {
  TXmlPacket p("", "a\r\nb", "c\rd", TCommand::SHOW_MESSAGE, "LINE1=x\ny");
  const std::string text = p.ToString();
  EXPECT_NE(text.find("<sender>a\r\nb</sender><target>c\r\nd</target>"), std::string::npos) << text;
  EXPECT_NE(text.find("<params>LINE1=x\r\ny</params>"), std::string::npos) << text;
  TXmlPacket back(text);
  EXPECT_EQ(back.Sender(), "a\nb");
  EXPECT_EQ(back.Target(), "c\nd");
  EXPECT_EQ(back.Params().Items(), (Items{"LINE1=x\ny"}));
}

TEST(XmlPacketTest, ParsedFieldsAsWritten) {
  struct Case {
    std::string text;
    std::string sender;
    TCommand command;
    Items params;
  };
  const Case cases[] = {
      {Msg(" POS1 ", "D", "SHOW_MESSAGE", ""), " POS1 ", TCommand::SHOW_MESSAGE, {}},
      {Msg("P", "D", "show_message", "\"\""), "P", TCommand::SHOW_MESSAGE, {""}},
      {Msg("P", "D", " SHOW_MESSAGE", "a,,b"), "P", kUnknownCommand, {"a", "", "b"}},
      {Msg("P", "D", "", "LINE1=a b,LINE2=c"), "P", kUnknownCommand, {"LINE1=a b", "LINE2=c"}},
      {Msg("P", "D", "NO_SUCH", "a,"), "P", kUnknownCommand, {"a", ""}},
      {Msg("P", "D", "ENUM_DISPLAYS_REQ", "\"ab\"cd"), "P", TCommand::ENUM_DISPLAYS_REQ, {"ab", "cd"}},
      {Msg("&#x50;&amp;", "D", "LOGOUT", "x=&lt;1&gt;"), "P&", TCommand::LOGOUT, {"x=<1>"}},
      // The exact declaration is removed wherever it first occurs.
      {"\n" + kDeclaration + Msg("P", "D", "LOGOUT", ""), "P", TCommand::LOGOUT, {}},
      // A declaration without an encoding or naming UTF-16 stays and does no harm.
      {"<?xml version=\"1.0\"?>" + Msg("P", "D", "LOGOUT", ""), "P", TCommand::LOGOUT, {}},
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + Msg("P", "D", "LOGOUT", ""), "P", TCommand::LOGOUT, {}},
      // The parser keeps what it read: text cut after params still gives the whole packet.
      {kDeclaration + "<msg><sender>P</sender><target>D</target><command>LOGOUT</command><params>k=v</params>",
       "P",
       TCommand::LOGOUT,
       {"k=v"}},
  };
  for (const Case& c : cases) {
    TXmlPacket p(c.text);
    EXPECT_EQ(p.Sender(), c.sender) << c.text;
    EXPECT_EQ(p.Target(), "D") << c.text;
    EXPECT_EQ(p.Command(), c.command) << c.text;
    EXPECT_EQ(p.Params().Items(), c.params) << c.text;
    EXPECT_EQ(p.Qos(), TMqttQoS::qosAtMostOnce);
    EXPECT_FALSE(p.FreeOnSend());
  }
}

TEST(XmlPacketTest, TextWithoutAMessageGivesTheInitialState) {
  const std::string inputs[] = {
      "",
      "plain text",
      "{\"json\": true}",
      "<other><sender>P</sender></other>",
      "<root><msg><sender>P</sender></msg></root>",  // msg must be a top-level element
      // The declaration in lower case is not removed: the load switches to UTF-8 and fails.
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + Msg("P", "D", "SHOW_MESSAGE", ""),
  };
  for (const std::string& input : inputs) ExpectInitialState(TXmlPacket(input), input);
}

TEST(XmlPacketTest, AMissingChildEndsTheParseWithItsName) {
  struct Case {
    std::string text;
    const char* missing;
  };
  const Case cases[] = {
      {"<msg/>", "sender"},
      {"<msg><target>D</target><command>X</command><params/></msg>", "sender"},
      {"<msg><sender>P</sender><command>X</command><params/></msg>", "target"},
      {"<msg><sender>P</sender><target>D</target><params/></msg>", "command"},
      {"<msg><sender>P</sender><target>D</target><command>X</command></msg>", "params"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ThrownMessage<EXMLUtils>([&] { TXmlPacket p(c.text); }),
              std::string("GetNodeTextStr: No text in the the ") + c.missing + " node")
        << c.text;
  }
  // An element that is present but empty is an empty field.
  TXmlPacket p("<msg><sender/><target></target><command/><params/></msg>");
  EXPECT_EQ(p.Sender(), "");
  EXPECT_EQ(p.Command(), kUnknownCommand);
}

TEST(XmlPacketTest, ShortCommentMarkupRaisesTheParserError) {
  try {
    TXmlPacket p("<msg><!-x></msg>");
    FAIL() << "no error";
  } catch (const EXMLException&) {
    FAIL() << "must be the plain error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Invalid node", 0), 0u) << e.what();
  }
}

TEST(XmlPacketTest, UnknownCommandRendersItsNumberAndParsesBack) {
  TXmlPacket p(Msg("P", "D", "BOGUS", ""));
  ASSERT_EQ(p.Command(), kUnknownCommand);
  const std::string text = p.ToString();
  EXPECT_NE(text.find("<command>255</command>"), std::string::npos);
  EXPECT_EQ(TXmlPacket(text).Command(), kUnknownCommand);
}

}  // namespace
}  // namespace kestova
