#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <string>
#include <string_view>

// The ranks files of the open web graph, as each release publishes them: a
// header line of "#" column names, then one tab-separated line a name, with
// its harmonic-centrality position and value, its PageRank position and
// value, the name with its labels reversed ("com.example") and, at domain
// level, the number of its hosts. Plain text or gzip.

enum class RankLevel : quint32 {
    Domain = 1,
    Host = 2,
};

// Where each figure stands in a line, as the header names the columns.
struct RankColumns
{
    RankLevel level = RankLevel::Domain;
    int count = 0; // fields in every line
    int harmonicPos = -1;
    int harmonicVal = -1;
    int prPos = -1;
    int prVal = -1;
    int name = -1;
    int hosts = -1; // the number of hosts: domain level only
};

// The columns a header line names, in any order and spelling close to the
// published one ("#harmonicc_pos", "#pr_val", "#host_rev", "#n_hosts"); the
// level is domain when a count of hosts is among them. Nothing when the line
// is not such a header.
std::optional<RankColumns> readRankHeader(std::string_view line);

// The release a published file name gives: "cc-main-2024-feb-apr-may" of
// "cc-main-2024-feb-apr-may-domain-ranks.txt.gz". Empty when it names none.
QString rankRelease(const QString &fileName);

// The key under which a ranks file lists a name: its labels reversed. A host
// loses a leading "www." first, as the file's hosts do, unless only one label
// would be left. Both take lower-case ASCII (punycode) names.
std::string reversedHost(std::string_view host);
std::string reversedDomain(std::string_view domain);
