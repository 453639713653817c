#pragma once
#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <functional>

#include "core/app/failure.h"

namespace core::db {

// Builds a register of any size with realistic names, addresses and dates, for the
// demo, the tests and the benchmarks.
struct SampleSpec
{
    int projects = 12;
    int companiesPerProject = 6;
    int pickupsPerCompany = 8;
    quint32 seed = 20261207;
    int inactiveEvery = 7; // every n-th project is not active (0: none)
    int orphanEvery = 0;   // every n-th subcontractor is deleted after its pick-ups are logged (0: none)
    int idleEvery = 0;     // every n-th subcontractor has no pick-up logged (0: none)
    QDate lastDate = QDate(2026, 11, 30);
};

// Writes the rows in one transaction on `db` (an open database with the schema);
// when it fails nothing is written.
bool generateSampleData(QSqlDatabase db, const SampleSpec &spec,
                        const std::function<void(qint64 rowsDone)> &progress = {}, Failure *why = nullptr);

} // namespace core::db
