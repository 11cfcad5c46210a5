// The scripting host: texts that are not UTF-8 go to scripts with Latin-1 stand-ins and come back
// as their own bytes, and a rate arrives as the float a script wrote.
#include "app/host/ScriptHost.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "Support.h"
#include "bwf/BWFParser.h"

namespace bextkit {
namespace {

TEST(ScriptHost, TextsAndRatesCrossAsTheyWere) {
  int argc = 1;
  char name[] = "host_tests";
  char* argv[] = {name, nullptr};
  const QCoreApplication application(argc, argv);  // the engine needs one
  testsupport::TempDir dir;
  const testsupport::LogCapture quiet;
  const std::string path = dir.write("latin1.wav", testsupport::RiffBuilder()
                                                       .riffHeader()
                                                       .fmt(1, 1, 48000, 16)
                                                       .bext({"caf\xE9", "\xC0"})
                                                       .bytes());
  QJSEngine engine;
  ScriptHost host(engine);
  engine.globalObject().setProperty("path", QString::fromStdString(path));
  const QJSValue result = engine.evaluate(R"JS(
    const p = BWFParser['initWithPath:FPS:'](path, 29.97);
    p.parse();
    const shown = [p.description(), p.originator()];
    p['setDescription:'](p.description());       // unchanged: its own bytes go back
    p['setOriginator:'](p.originator() + '!');   // changed: written as UTF-8
    const fps = [0];
    p['getfps:'](fps);
    [shown.join('|'), p.saveFile(), fps[0]].join(' ');
  )JS");
  ASSERT_FALSE(result.isError()) << result.toString().toStdString();
  EXPECT_EQ(result.toString().toStdString(), "caf\xC3\xA9|\xC3\x80 true 29.97");
  auto saved = BWFParser::initWithPath(path);
  saved->parse();
  EXPECT_EQ(saved->description() + "|" + saved->originator(), "caf\xE9|\xC3\x80!");
  const QJSValue thrown = engine.evaluate("TimeCode['maxFramesForFPS:'](1e300)");
  EXPECT_TRUE(thrown.isError() && thrown.toString().contains("TimeCode['maxFramesForFPS:']"));
  EXPECT_EQ(thrown.property("reason").toString().toStdString(),
            "argument 1 must be a 32-bit float, got 1e+300");
  // A record is a plain object, and comes back as the same record, but for a whole number
  // beyond 2^53, which a script holds as its decimal text.
  bridge::Record inner, record;
  inner.add("n", int64_t{-5});
  record.add("text", "caf\xE9").add("none", {}).add("count", uint64_t{1} << 60);
  record.add("small", int64_t{-7}).add("real", 0.5).add("yes", true);
  record.add("bytes", std::vector<uint8_t>{1, 2}).add("inner", inner);
  record.add("list", std::vector<bridge::Record>{inner, inner});
  engine.globalObject().setProperty("record", host.toScript(record));
  EXPECT_EQ(engine.evaluate("JSON.stringify(record) + ' ' + record.bytes.byteLength").toString(),
            "{\"text\":\"caf\u00E9\",\"none\":null,\"count\":\"1152921504606846976\",\"small\":-7,"
            "\"real\":0.5,\"yes\":true,\"bytes\":{},\"inner\":{\"n\":-5},\"list\":[{\"n\":-5},"
            "{\"n\":-5}]} 2");
  std::string why;
  const auto back =
      host.fromScript(engine.globalObject().property("record"), bridge::Kind::kRecord, why);
  record.fields[2].value = "1152921504606846976";
  EXPECT_TRUE(back && *back == bridge::Value(record)) << why;
  EXPECT_FALSE(host.fromScript(engine.evaluate("({ f() {} })"), bridge::Kind::kRecord, why));
  EXPECT_NE(why.find("field 'f'"), std::string::npos) << why;
  // A handle past 32 bits, or not whole, names no parser: it never wraps round onto parser 1.
  for (const char* handle : {"4294967297", "1.5", "NaN"}) {
    const QJSValue wrapped = engine.evaluate(
        QString("BWFParser['initWithPath:'](path).description.call({__handle: %1})").arg(handle));
    EXPECT_TRUE(wrapped.isError() && wrapped.toString().contains("unknown or was released"))
        << handle << " " << wrapped.toString().toStdString();
  }
}

}  // namespace
}  // namespace bextkit
