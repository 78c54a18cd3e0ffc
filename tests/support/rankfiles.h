#pragma once

#include <QByteArray>
#include <QString>

namespace prqtest {

// A small ranks file at domain level, in the published form. Its scores:
// google.com 10, example.com 9, bücher.de 7, example.org 4, bbc.co.uk 0.
inline const QByteArray DomainRanks = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n"
                                      "1\t3.5E7\t2\t0.002\tcom.example\t10\n"
                                      "2\t3.4E7\t1\t0.005\tcom.google\t500\n"
                                      "3\t2.0E7\t4\t2.0E-6\torg.example\t3\n"
                                      "4\t1.9E7\t3\t1.0E-4\tde.xn--bcher-kva\t7\n"
                                      "5\t1.0E7\t5\t1.0E-9\tuk.co.bbc\t4\n";

// The same at host level. Scores: example.com 10, blog.example.com 8,
// example.org 0.
inline const QByteArray HostRanks = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n"
                                    "1\t5.0E6\t1\t0.01\tcom.example\n"
                                    "2\t4.0E6\t2\t0.001\tcom.example.blog\n"
                                    "3\t1.0E6\t3\t1.0E-8\torg.example\n";

// Writes content to path; gzip-compressed when path ends in ".gz".
void writeRanksFile(const QString &path, const QByteArray &content);

// A ranks file of count domains at domain level ("com.d1", "com.d2", ...),
// large enough that reading it takes a while and reports its progress.
QByteArray manyRanks(int count);

} // namespace prqtest
