#include "data/storedtext.h"
#include "query/checksum.h"
#include "query/scripthost.h"

#include <QElapsedTimer>
#include <QJSEngine>

#include <gtest/gtest.h>

#include <random>

namespace {

QString q(const char16_t *text)
{
    return QString::fromUtf16(text);
}

// One engine holding the stored script, for comparisons in bulk; the real
// per-call path is exercised separately below.
class ScriptEngine
{
public:
    ScriptEngine() { EXPECT_FALSE(m_engine.evaluate(storedtext::checksumScript()).isError()); }

    // Evaluates program; no value when it throws or does not parse.
    std::optional<QString> eval(const QString &program)
    {
        QStringList trace;
        const QJSValue v = m_engine.evaluate(program, QString(), 1, &trace);
        if (v.isError() || !trace.isEmpty())
            return std::nullopt;
        return v.toString();
    }

private:
    QJSEngine m_engine;
};

std::string dumpUnits(const std::optional<QString> &s)
{
    if (!s)
        return "(rejected)";
    std::string out;
    for (QChar c : *s)
        out += QString::asprintf("%04x ", c.unicode()).toStdString();
    return out;
}

TEST(DecodeJsString, AgreesWithTheEngine)
{
    struct Case
    {
        QString body;
        std::optional<QString> decoded;
    };
    const Case cases[] = {
        {q(u""), q(u"")},
        {q(u"http://a.com/x?b=1&c d#e'f"), q(u"http://a.com/x?b=1&c d#e'f")},
        {q(u"a\\\\b"), q(u"a\\b")},
        {q(u"a\\tb\\b\\f\\n\\r\\v"), q(u"a\tb\b\f\n\r\v")},
        {q(u"\\'\\\""), q(u"'\"")},
        {q(u"\\x41\\x7e\\xFF"), q(u"A~\u00ff")},
        {q(u"\\u4e2d\\u00E9\\u{1F600}\\u{0000000041}\\u{10FFFF}"), q(u"中é\U0001F600A\U0010FFFF")},
        {q(u"\\uD83D\\uDE00\\ud800"), QString(QChar(0xD83D)) + QChar(0xDE00) + QChar(0xD800)},
        {q(u"\\0\\0a"), QString(QChar(0)) + QChar(0) + u'a'},
        {q(u"\\q\\中\\U0041"), q(u"q中U0041")},
        {q(u"a\\\nb\\\r\nc\\\rd\\\u2028e\\\u2029f"), q(u"abcdef")},
        {q(u"中文\U0001F600"), q(u"中文\U0001F600")},
        // Not one plain literal.
        {q(u"a\"b"), std::nullopt},
        {q(u"a\nb"), std::nullopt},
        {q(u"a\rb"), std::nullopt},
        {q(u"a\u2028b"), std::nullopt},
        {q(u"a\u2029b"), std::nullopt},
        {q(u"abc\\"), std::nullopt},
        {q(u"\\\\\\"), std::nullopt},
        {q(u"\\x4"), std::nullopt},
        {q(u"\\xg1"), std::nullopt},
        {q(u"\\u12"), std::nullopt},
        {q(u"\\u12g4"), std::nullopt},
        {q(u"\\u{}"), std::nullopt},
        {q(u"\\u{41"), std::nullopt},
        {q(u"\\u{110000}"), std::nullopt},
        {q(u"\\1"), std::nullopt},
        {q(u"\\00"), std::nullopt},
        {q(u"\\08"), std::nullopt},
        {q(u"\\8"), std::nullopt},
        {q(u"\\9"), std::nullopt},
        {q(u"\\377"), std::nullopt},
    };
    for (const Case &c : cases) {
        const std::optional<QString> got = decodeJsString(c.body);
        EXPECT_EQ(dumpUnits(got), dumpUnits(c.decoded)) << c.body.toStdString();
        QJSEngine engine;
        const QJSValue v = engine.evaluate(u'"' + c.body + u'"');
        EXPECT_EQ(dumpUnits(got), dumpUnits(v.isError() ? std::nullopt : std::optional<QString>(v.toString())))
            << "engine differs on " << c.body.toStdString();
    }
}

// Raw URL text (as a row holds it) whose decoded text is exactly length units.
QString generateUrl(std::mt19937 &rng, int length)
{
    struct Piece
    {
        const char16_t *raw;
        int decoded;
    };
    static const Piece escapes[] = {
        {u"\\\\", 1},
        {u"\\t", 1},
        {u"\\n", 1},
        {u"\\x41", 1},
        {u"\\u4e2d", 1},
        {u"\\'", 1},
        {u"\\\"", 1},
        {u"\\q", 1},
        {u"\\0", 1},
        {u"\\\n", 0},
        {u"\\u{1F600}", 2},
    };
    QString raw;
    int left = length;
    while (left > 0) {
        const int kind = int(rng() % 10);
        if (kind < 5) {
            char16_t c = char16_t(0x20 + rng() % 95);
            // \0 followed by a digit would be a legacy octal escape.
            if (c == u'"' || c == u'\\' || (raw.endsWith(QLatin1String("\\0")) && c >= u'0' && c <= u'9'))
                c = u'/';
            raw.append(QChar(c));
            --left;
        } else if (kind < 7) {
            raw.append(QChar(char16_t(0x4E00 + rng() % 0x51A6)));
            --left;
        } else if (kind < 8 && left >= 2) {
            const char32_t cp = 0x10000 + rng() % 0xFFFF0;
            raw.append(QChar::highSurrogate(cp));
            raw.append(QChar::lowSurrogate(cp));
            left -= 2;
        } else {
            const Piece &p = escapes[rng() % std::size(escapes)];
            if (p.decoded > left)
                continue;
            raw.append(QString::fromUtf16(p.raw));
            left -= p.decoded;
        }
    }
    return raw;
}

// "info:" is five units, so decoded lengths 6, 7, 8 and 19 give hashed
// lengths of 11, 12, 13 and 24: a tail from its first case, a single full
// block, one block and a tail of one, two blocks.
TEST(Checksum, ScriptAndNativeAgreeOnGeneratedUrls)
{
    ScriptEngine script;
    std::mt19937 rng(20240607);
    int compared = 0;
    for (int length = 0; length <= 300; ++length) {
        const int perLength = (length <= 30) ? 20 : 8;
        for (int k = 0; k < perLength; ++k) {
            const QString raw = generateUrl(rng, length);
            const std::optional<QString> decoded = decodeJsString(raw);
            ASSERT_TRUE(decoded) << raw.toStdString();
            ASSERT_EQ(decoded->size(), length);
            const QString native = nativeChecksum(raw);
            const std::optional<QString> viaScript = script.eval(QStringLiteral("getch(\"") + raw + QStringLiteral("\")"));
            ASSERT_TRUE(viaScript) << raw.toStdString();
            ASSERT_EQ(native, *viaScript) << raw.toStdString();
            ++compared;
        }
    }
    EXPECT_GT(compared, 2500);
}

TEST(Checksum, HashStagesAgreeOnWordEdges)
{
    ScriptEngine script;
    // Elements at the byte and unit limits, over lengths crossing the block size.
    std::mt19937 rng(7);
    const int values[] = {0, 1, 255, 256, 0x7FFF, 0x8000, 0xFFFF};
    for (int n = 0; n <= 40; ++n) {
        for (int round = 0; round < 3; ++round) {
            QString units;
            QString array;
            for (int i = 0; i < n; ++i) {
                const int v = (round == 0) ? 0xFFFF : values[rng() % std::size(values)];
                units.append(QChar(char16_t(v)));
                array += (i ? QStringLiteral(",") : QString()) + QString::number(v);
            }
            const auto got = script.eval(QStringLiteral("GoogleCH([%1])").arg(array));
            ASSERT_TRUE(got);
            EXPECT_EQ(*got, QString::number(lookup2(units))) << "n=" << n << " round=" << round;
        }
    }
    // Second stage: H1 of 0 (buffer words wrap), H1 div 7 at and around 2^29
    // (x negative in the script, last words below -2^31), the top of the range.
    const quint32 h1s[] = {0, 1, 6, 7, 12, 13, 91, 3758096383u, 3758096384u, 3758096384u + 7 * 42,
        3758096384u + 7 * 43, 3758096384u + 1234, 4294967289u, 4294967295u,
        2147483647u, 2147483648u, 123456789u};
    for (quint32 h1 : h1s) {
        const auto got = script.eval(QStringLiteral("GoogleNewCh(%1)").arg(h1));
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, QString::number(secondStage(h1))) << "h1=" << h1;
    }
    for (int i = 0; i < 500; ++i) {
        const quint32 h1 = quint32(rng());
        ASSERT_EQ(*script.eval(QStringLiteral("GoogleNewCh(%1)").arg(h1)), QString::number(secondStage(h1)))
            << "h1=" << h1;
    }
}

// Figures from a separate, published lookup2 implementation (not derived
// from either of ours), so a fault shared by the script and the native code
// still shows.
TEST(Checksum, MatchesIndependentReference)
{
    struct Case
    {
        const char16_t *text;
        quint32 h1;
        const char *checksum;
    };
    const Case cases[] = {
        {u"http://www.example.com/", 4199369441u, "63632590666"},
        {u"中文网页.cn/路径", 678332066u, "62649504983"},
        {u"a\\b\tc", 922453173u, "61666843093"},
        {u"xxxxxxx", 410759190u, "62618600887"},
        {u"\U0001F600abc", 3857206620u, "62223183676"},
    };
    for (const Case &c : cases) {
        const QString text = q(c.text);
        EXPECT_EQ(lookup2(QStringLiteral("info:") + text), c.h1) << text.toStdString();
        EXPECT_EQ(checksumOfText(text), QString::fromLatin1(c.checksum)) << text.toStdString();
    }
}

TEST(Checksum, PerCallPathMatchesNative)
{
    const QString stored = storedtext::checksumScript();
    const QString urls[] = {
        q(u""),
        q(u"http://www.example.com/"),
        q(u"example.org/路径?q=中文&x=1 #frag"),
        q(u"a\\tb\\\\c\\u{1F600}"),
        q(u"\U0001F600\U00020000x"),
    };
    for (const QString &url : urls) {
        const QString native = nativeChecksum(url);
        ASSERT_TRUE(native.startsWith(u'6')) << url.toStdString();
        EXPECT_EQ(scriptChecksum(stored, url), native) << url.toStdString();
        EXPECT_EQ(evaljs(stored, QStringLiteral("getch(\"") + url + QStringLiteral("\")")), native);
    }
    EXPECT_EQ(scriptChecksum(storedtext::checksumScript(), urls[1]), nativeChecksum(urls[1]));
    // The hashed text is the decoded literal; the doubled backslash counts once.
    EXPECT_EQ(nativeChecksum(q(u"a\\\\b")), checksumOfText(q(u"a\\b")));
    EXPECT_EQ(nativeChecksum(q(u"a\\tb")), checksumOfText(q(u"a\tb")));
}

TEST(Checksum, UrlThatIsNotAPlainLiteralNeverRuns)
{
    const QString stored = storedtext::checksumScript();
    const QString hostile[] = {
        q(u"\");while(1){}(\""),
        q(u"x\") + (\"y"),
        q(u"http://a.com/\");getch=function(){return \"owned\"};(\""),
        q(u"a\nb"),
        q(u"http://a.com/\\"),
        q(u"\\x"),
        q(u"\\1"),
    };
    QElapsedTimer clock;
    clock.start();
    for (const QString &url : hostile) {
        EXPECT_EQ(scriptChecksum(stored, url), QString()) << url.toStdString();
        EXPECT_EQ(nativeChecksum(url), QString()) << url.toStdString();
    }
    EXPECT_LT(clock.elapsed(), 500);
    // Pasted into an expression, the second one would have computed something.
    EXPECT_FALSE(evaljs(stored, QStringLiteral("getch(\"") + hostile[1] + QStringLiteral("\")")).isEmpty());
    // Nothing lingers: a sound URL still gets its checksum.
    EXPECT_EQ(scriptChecksum(stored, q(u"a.com")), nativeChecksum(q(u"a.com")));
}

TEST(ScriptHost, FailuresGiveEmptyText)
{
    struct Case
    {
        const char *script;
        const char *expression;
        const char *result;
    };
    const Case cases[] = {
        {"function f(x) { return x * 2; }", "f(21)", "42"},
        {"function f(x) { return 'a' + x; }", "f('b')", "ab"},
        {"", "true", "true"},
        {"function f( {", "1", ""}, // script does not parse
        {"throw new Error('x');", "1", ""}, // script throws
        {"throw 5;", "1", ""}, // script throws a non-Error
        {"", "nosuch()", ""},
        {"", "1 +", ""},
        {"", "(function () { throw 'text'; })()", ""},
        {"", "undefined", ""},
        {"", "null", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(evaljs(QString::fromUtf8(c.script), QString::fromUtf8(c.expression)), QString::fromUtf8(c.result))
            << c.script << " | " << c.expression;

    const QString script = QStringLiteral("function id(s) { return s; } function bad(s) { throw s; } var notfn = 1;");
    const QString payload = q(u"\");while(1){}(\"");
    EXPECT_EQ(calljs(script, QStringLiteral("id"), payload), payload);
    EXPECT_EQ(calljs(script, QStringLiteral("bad"), payload), QString());
    EXPECT_EQ(calljs(script, QStringLiteral("notfn"), payload), QString());
    EXPECT_EQ(calljs(script, QStringLiteral("missing"), payload), QString());
}

// The engine is kept while the text is the same; any change to the text is
// seen at the next call, and an interrupted run leaves nothing behind.
TEST(ScriptHost, EachCallSeesTheScriptTextItIsGiven)
{
    const QString one = QStringLiteral("function f(x) { return 'one' + x; }");
    const QString two = QStringLiteral("function f(x) { return 'two' + x; }");
    const QString spinOnce = QStringLiteral("var n = 0; function f(x) { if (n++ === 0) { for (;;) {} } return 'ok' + x; }");
    const struct
    {
        const QString &script;
        const char *result;
    } calls[] = {
        {one, "one1"},
        {one, "one1"},
        {two, "two1"},
        {one, "one1"},
        {two, "two1"},
        {two, "two1"},
        {spinOnce, ""}, // interrupted: its engine is dropped ...
        {spinOnce, ""}, // ... so the next call starts afresh and spins again
        {one, "one1"},
    };
    for (const auto &c : calls)
        EXPECT_EQ(calljs(c.script, QStringLiteral("f"), QStringLiteral("1"), std::chrono::milliseconds(100)), QString::fromUtf8(c.result))
            << c.script.toStdString();

    const QString stored = storedtext::checksumScript();
    QString edited = stored;
    edited.replace(QStringLiteral("function getch"), QStringLiteral("function getch_old"));
    edited += QStringLiteral("\nfunction getch(u) { return 'edited'; }");
    const QString url = QStringLiteral("www.example.com/a");
    EXPECT_EQ(scriptChecksum(stored, url), nativeChecksum(url));
    EXPECT_EQ(scriptChecksum(edited, url), QStringLiteral("edited"));
    EXPECT_EQ(scriptChecksum(stored, url), nativeChecksum(url));
}

TEST(ScriptHost, LongRunIsInterrupted)
{
    const auto limit = std::chrono::milliseconds(100);
    const QString loopFn = QStringLiteral("function spin(s) { for (;;) {} }");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(evaljs(QStringLiteral("while (true) {}"), QStringLiteral("1"), limit), QString());
    EXPECT_EQ(evaljs(loopFn, QStringLiteral("spin('x')"), limit), QString());
    EXPECT_EQ(calljs(loopFn, QStringLiteral("spin"), QStringLiteral("x"), limit), QString());
    // A script that catches the interruption still yields nothing.
    EXPECT_EQ(evaljs(QStringLiteral("function g() { try { for (;;) {} } catch (e) { return 'caught'; } }"),
                  QStringLiteral("g()"), limit),
        QString());
    EXPECT_LT(clock.elapsed(), 2000);
    // The limit does not cut short a sound evaluation.
    EXPECT_EQ(evaljs(QString(), QStringLiteral("6 * 7"), limit), QStringLiteral("42"));
}

} // namespace
