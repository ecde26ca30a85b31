// Runs every widget test class in one process (one QApplication, one server session each).
#include <QApplication>
#include <QTest>

#include <memory>
#include <vector>

QObject* makeGridModelTest();
QObject* makeGridViewTest();
QObject* makeNavigatorTest();
QObject* makeExportSourceTest();

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    std::vector<std::unique_ptr<QObject>> tests;
    tests.emplace_back(makeGridModelTest());
    tests.emplace_back(makeGridViewTest());
    tests.emplace_back(makeNavigatorTest());
    tests.emplace_back(makeExportSourceTest());
    int failed = 0;
    for (auto& t : tests)
        failed += QTest::qExec(t.get(), argc, argv);
    return failed == 0 ? 0 : 1;
}
