#include "core/db/sampledata.h"
#include "core/db/database.h"
#include "core/db/dialect.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace core::db {

namespace {

const char *const kPlaces[]
    = {"HARBOR VIEW", "NORTH TOWER", "RIVERSIDE",  "OAK PARK",     "CEDAR HILL",   "LAKESHORE",
       "MAPLE RIDGE", "WESTGATE",    "PINE CREST", "SUMMIT",       "BAYFRONT",     "STONEBRIDGE",
       "MILL POND",   "EASTWOOD",    "FAIRVIEW",   "GRAND AVENUE", "UNION SQUARE", "ELM STREET"};
const char *const kKinds[]
    = {"OFFICE BUILDING", "SCHOOL ANNEX", "PARKING GARAGE",   "CLINIC", "APARTMENTS",   "LIBRARY",
       "FIRE STATION",    "WAREHOUSE",    "COMMUNITY CENTER", "HOTEL",  "RETAIL CENTER"};
const char *const kClients[] = {
    "CITY OF SPRINGFIELD", "COUNTY SCHOOL BOARD", "BLUE RIVER DEVELOPMENT", "ATLAS PROPERTIES", "ST. MARY'S HOSPITAL",
    "NORTHWIND HOLDINGS",  "GREENLEAF REIT",      "STATE UNIVERSITY",       "HARRIS & SONS",    "MERIDIAN HOTELS"};
const char *const kTradeNames[] = {"ACME",      "BRIGHTLINE", "KEYSTONE", "IRONWOOD", "PRECISION", "ALLIED",  "SUMMIT",
                                   "TRI-STATE", "O'NEIL",     "DELTA",    "COASTAL",  "PIONEER",   "REDROCK", "EAGLE"};
const char *const kTrades[] = {"ELECTRIC", "PLUMBING", "MECHANICAL", "ROOFING",  "DRYWALL",         "CONCRETE", "GLASS",
                               "STEEL",    "PAINTING", "FLOORING",   "ELEVATOR", "FIRE PROTECTION", "MASONRY"};
const char *const kSuffixes[] = {"INC.", "LLC", "CO.", "& SONS", "CORP.", "GROUP"};
const char *const kStreets[] = {"MAIN ST",  "OAK AVE",       "INDUSTRIAL PKWY", "2ND ST",     "COMMERCE DR",
                                "RIVER RD", "HIGHLAND BLVD", "MARKET ST",       "STATION RD", "PARK LN"};
// Each city with its own state, and the first digits of its zip codes and telephone numbers.
struct Place
{
    const char *city; // at most ten characters
    const char *state;
    const char *zip;
    const char *area;
};
const Place kCities[] = {{"AUSTIN", "TX", "787", "512"}, {"DENVER", "CO", "802", "303"}, {"BOSTON", "MA", "021", "617"},
                         {"TAMPA", "FL", "336", "813"},  {"RENO", "NV", "895", "775"},   {"FRESNO", "CA", "937", "559"},
                         {"TOLEDO", "OH", "436", "419"}, {"OMAHA", "NE", "681", "402"},  {"SALEM", "OR", "973", "503"},
                         {"MESA", "AZ", "852", "480"},   {"AKRON", "OH", "443", "330"},  {"TULSA", "OK", "741", "918"}};
const char *const kPeople[] = {"J. SMITH",  "M. GARCIA", "R. JOHNSON",  "L. CHEN",   "D. O'BRIEN", "K. PATEL",
                               "S. MILLER", "T. NGUYEN", "A. KOWALSKI", "B. DUBOIS", "C. MÜLLER"};
const char *const kPackages[] = {"DRAWINGS SET A", "PROJECT MANUAL VOL. 2", "SHOP DRAWINGS",  "SUBMITTAL BINDER",
                                 "ADDENDUM 3",     "PERMIT COPIES",         "KEYS (4)",       "SAMPLE BOARD",
                                 "RFI RESPONSES",  "CHANGE ORDER #12",      "AS-BUILT PLANS", "SITE LOGISTICS PLAN"};
const char *const kNotes[] = {"",
                              "",
                              "PICKED UP AT FRONT DESK.",
                              "SIGNED FOR BY FOREMAN.",
                              "CALL BEFORE NEXT PICK-UP; REVISED SET EXPECTED FRIDAY.",
                              "MISSING SHEET E-4, TO BE SENT BY MAIL.",
                              "LEFT WITH SECURITY. RECEIPT NO. 4471 ATTACHED TO THE FILE COPY. THE REMAINING "
                              "SHEETS WILL BE READY AFTER THE ARCHITECT'S REVIEW MEETING NEXT WEEK.",
                              "\"URGENT\" — DELIVER TO SITE TRAILER 2."};

template <typename T, size_t N>
const T &pick(QRandomGenerator &rng, const T (&arr)[N])
{
    return arr[rng.bounded(int(N))];
}

QString digits(QRandomGenerator &rng, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(u'0' + rng.bounded(10));
    return s;
}

bool execPrepared(QSqlQuery &q, QString *error)
{
    if (q.exec())
        return true;
    *error = q.lastError().text();
    return false;
}

bool notWritten(Failure *why, const QSqlDatabase &db, const QString &error)
{
    return fail(
        why,
        Failure::withReason(
            QStringLiteral("The sample data cannot be written to \"%1\": %2.").arg(shownFile(db), error), error));
}

} // namespace

bool generateSampleData(QSqlDatabase db, const SampleSpec &spec, const std::function<void(qint64)> &progress,
                        Failure *why)
{
    QRandomGenerator rng(spec.seed);
    QString error;
    if (!db.transaction())
        return notWritten(why, db, db.lastError().text());

    QSqlQuery proj(db), comp(db), log(db);
    bool ok = proj.prepare(QStringLiteral("INSERT INTO project (projectname, company, active) VALUES (?, ?, ?)"))
        && comp.prepare(QStringLiteral(
            "INSERT INTO authorizedcompanies (idproject, name, address1, address2, city, state, zipcode, "
            "telephone, fax, email, website, note, pickupdate, pickupby, package, active) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))
        && log.prepare(QStringLiteral("INSERT INTO pickuplog (idproject, idauthorizedcompany, pickupdate, "
                                      "pickupby, package, note) VALUES (?, ?, ?, ?, ?, ?)"));
    if (!ok) {
        error = proj.lastError().isValid() ? proj.lastError().text()
            : comp.lastError().isValid()   ? comp.lastError().text()
                                           : log.lastError().text();
        db.rollback();
        return notWritten(why, db, error);
    }

    QList<qint64> orphans;
    qint64 rows = 0, companyCount = 0;
    const QVariant nullText(QMetaType::fromType<QString>());
    for (int p = 0; p < spec.projects && error.isEmpty(); ++p) {
        const QString name
            = QStringLiteral("%1 %2").arg(QLatin1String(pick(rng, kPlaces)), QLatin1String(pick(rng, kKinds)))
            + (p >= 50 ? QStringLiteral(" %1").arg(p + 1) : QString());
        proj.bindValue(0, name);
        proj.bindValue(1, QString::fromUtf8(pick(rng, kClients)));
        proj.bindValue(2, (spec.inactiveEvery > 0 && p % spec.inactiveEvery == spec.inactiveEvery - 1) ? 0 : -1);
        if (!execPrepared(proj, &error))
            break;
        const qint64 projectId = insertedId(proj, db);
        ++rows;

        for (int c = 0; c < spec.companiesPerProject && error.isEmpty(); ++c) {
            const QString trade = QString::fromLatin1(pick(rng, kTrades));
            const QString cname = QStringLiteral("%1 %2 %3")
                                      .arg(QString::fromLatin1(pick(rng, kTradeNames)), trade,
                                           QString::fromLatin1(pick(rng, kSuffixes)));
            const QString domain = cname.section(QLatin1Char(' '), 0, 0).toLower().remove(QLatin1Char('\''))
                + trade.left(4).toLower() + QStringLiteral(".com");
            const Place &place = pick(rng, kCities);
            const bool hasOwnPickup = rng.bounded(4) == 0;
            const QDate ownDate = spec.lastDate.addDays(-rng.bounded(700));
            const QVariantList values = {
                projectId,
                cname,
                QStringLiteral("%1 %2").arg(100 + rng.bounded(9800)).arg(QLatin1String(pick(rng, kStreets))),
                rng.bounded(3) == 0 ? QVariant(QStringLiteral("SUITE %1").arg(100 + rng.bounded(400))) : nullText,
                QString::fromLatin1(place.city),
                QString::fromLatin1(place.state),
                QLatin1String(place.zip) + digits(rng, 2),
                QStringLiteral("(%1) %2-%3").arg(QLatin1String(place.area), digits(rng, 3), digits(rng, 4)),
                rng.bounded(2) ? QVariant(
                    QStringLiteral("(%1) %2-%3").arg(QLatin1String(place.area), digits(rng, 3), digits(rng, 4)))
                               : nullText,
                QStringLiteral("OFFICE@%1").arg(domain.toUpper()),
                QStringLiteral("WWW.%1").arg(domain.toUpper()),
                rng.bounded(3) == 0 ? QVariant(QStringLiteral("AUTHORIZED BY PROJECT MANAGER.")) : nullText,
                hasOwnPickup ? QVariant(ownDate.toString(Qt::ISODate)) : nullText,
                hasOwnPickup ? QVariant(QString::fromUtf8(pick(rng, kPeople))) : nullText,
                hasOwnPickup ? QVariant(QString::fromLatin1(pick(rng, kPackages))) : nullText,
                rng.bounded(10) == 0 ? 0 : -1,
            };
            for (int i = 0; i < values.size(); ++i)
                comp.bindValue(i, values.at(i));
            if (!execPrepared(comp, &error))
                break;
            const qint64 companyId = insertedId(comp, db);
            ++rows;
            ++companyCount;
            if (spec.orphanEvery > 0 && companyCount % spec.orphanEvery == 0)
                orphans << companyId;

            const bool idle = spec.idleEvery > 0 && companyCount % spec.idleEvery == 0;
            QDate day = spec.lastDate.addDays(-rng.bounded(900) - spec.pickupsPerCompany * 3);
            for (int k = 0; k < (idle ? 0 : spec.pickupsPerCompany); ++k) {
                day = day.addDays(1 + rng.bounded(5));
                QString when = day.toString(Qt::ISODate);
                if (rng.bounded(5) == 0) // some carry a time of day
                    when += QStringLiteral(" %1:%2:00")
                                .arg(7 + rng.bounded(11), 2, 10, QLatin1Char('0'))
                                .arg(rng.bounded(60), 2, 10, QLatin1Char('0'));
                log.bindValue(0, projectId);
                log.bindValue(1, companyId);
                log.bindValue(2, when);
                log.bindValue(3, QString::fromUtf8(pick(rng, kPeople)));
                log.bindValue(4, QString::fromLatin1(pick(rng, kPackages)));
                const QString note = QString::fromUtf8(pick(rng, kNotes));
                log.bindValue(5, note.isEmpty() ? nullText : QVariant(note));
                if (!execPrepared(log, &error))
                    break;
                ++rows;
            }
            if (progress && (rows & 0x3fff) < qint64(spec.pickupsPerCompany) + 1)
                progress(rows);
        }
    }

    if (error.isEmpty() && !orphans.isEmpty()) {
        QSqlQuery del(db);
        del.prepare(QStringLiteral("DELETE FROM authorizedcompanies WHERE id = ?"));
        for (qint64 id : orphans) {
            del.bindValue(0, id);
            if (!execPrepared(del, &error))
                break;
        }
    }
    proj.finish();
    comp.finish();
    log.finish();
    if (error.isEmpty() && !db.commit())
        error = db.lastError().text();
    if (!error.isEmpty()) {
        db.rollback();
        return notWritten(why, db, error);
    }
    if (progress)
        progress(rows);
    return true;
}

} // namespace core::db
