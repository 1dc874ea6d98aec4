#include "platform/log/Log.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("strandloft"));
    QCoreApplication::setApplicationName(QStringLiteral("Backreel"));
    backreel::installJournalMessageHandler();

    std::printf("Backreel %s: a replay-buffer screen recorder.\n"
                "This build has the recording core (sample stores, clip selection and the recording\n"
                "manager) with a synthetic test backend; screen capture, compression and saving\n"
                "arrive with the next steps.\n",
                BACKREEL_VERSION);
    return 0;
}
