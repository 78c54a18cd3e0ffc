#include "base/errors.h"
#include "survey/sitedomain.h"

#include <gtest/gtest.h>

namespace {

TEST(GetDomain2, Table)
{
    struct Case
    {
        const char *url;
        const char *domain; // nullptr: raises
    };
    const Case cases[] = {
        {"http://www.example.com:8080/a/b.html?x=1/2/3", "example.com"},
        {"http://www.abc.com.cn/", "abc.com.cn"},
        {"http://news.abc.co.uk", "abc.co.uk"},
        {"http://www.abc.ac.uk", "ac.uk"},
        // Capitals never count as a listed label.
        {"http://WWW.ABC.COM.CN", "COM.CN"},
        {"http://127.0.1.20:81/", "1.20"},
        // A label counts when it begins a listed name, or is empty.
        {"http://a.b.ne.jp", "b.ne.jp"},
        {"http://a.b.go.jp", "b.go.jp"},
        {"http://a.b.c.de", "b.c.de"},
        {"http://a.b.gv.at", "gv.at"},
        {"http://a..cn", "a..cn"},
        // Without a scheme: a host, a host and one segment, or the second segment.
        {"www.example.com", "example.com"},
        {"www.example.com/page.html", "example.com"},
        {"www.example.com/dir/index.html", "index.html"},
        {"ftp://x.example.org/", "example.org"},
        {"https://x.example.org", "example.org"},
        // A fragment straight after the host stays in the last label.
        {"http://www.example.com#top", "example.com#top"},
        {"", nullptr},
        {"?a=b.com", nullptr},
        {"http://", nullptr},
        {"http://:80/", nullptr},
        {"http://localhost/", nullptr},
        {"http://com.cn/", nullptr},
    };
    for (const Case &c : cases) {
        const QString url = QString::fromUtf8(c.url);
        if (c.domain) {
            EXPECT_EQ(getdomain2(url), QString::fromUtf8(c.domain)) << c.url;
        } else {
            EXPECT_THROW(getdomain2(url), AppError) << c.url;
        }
    }
}

} // namespace
