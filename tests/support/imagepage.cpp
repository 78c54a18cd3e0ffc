#include "support/imagepage.h"

namespace prqtest {

namespace {

// An 8x8 red PNG.
const char SmallPng[] = "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x08\x00\x00\x00\x08\x08\x02"
                        "\x00\x00\x00\x4b\x6d\x29\xdc\x00\x00\x00\x12\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0\x80\x15\x61\x17"
                        "\x1d\xb4\x12\x00\x28\xff\x3f\xc1\x6e\xec\xdf\x61\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";

} // namespace

void serveImagePage(LoopServer &server, int images)
{
    std::string page = "<html><body>";
    for (int i = 0; i < images; ++i)
        page += "<img src=\"/img/" + std::to_string(i) + ".png\">";
    page += "</body></html>";
    server.get("/page.html", [page](const httplib::Request &, httplib::Response &res) { res.set_content(page, "text/html"); });
    server.get(R"(/img/\d+\.png)", [](const httplib::Request &, httplib::Response &res) {
        res.set_content(std::string(SmallPng, sizeof SmallPng - 1), "image/png");
    });
}

} // namespace prqtest
