#pragma once

#include "entry/LineItems.h"
#include "generation/GenerationRun.h"
#include "generation/IsInstalled.h"

#include <QWidget>
#include <array>
#include <functional>

class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace services {
class ErrorTrap;
class PictureBox;
class WindowPointer;
} // namespace services

namespace preview {
class Form2;
} // namespace preview

namespace entry {

class AmountRules;
class BalanceCheckView;
class TabOrder;

// The entry window: the balance-sheet date and 24 line items. Creating it
// runs its load (restores every entry from the settings store); every change
// is stored at once; closing it ends the program.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(generation::ApplicationFactory createApplication = {});
    ~Form1() override;

    // The design date of the picker, kept when a stored date cannot be read.
    static QDate designDate();
    // The text stored under "dtpFrom" for a date: the user's short date with
    // a four-digit year.
    static QString dateText(const QDate& date);

    QPushButton* PushButton22 = nullptr;                      // "Start Creating Template"
    QPushButton* PushButton1 = nullptr;                       // "Clear/Reset Amounts"
    QPushButton* PushButton2 = nullptr;                       // "Load Sample/Example Amounts"
    QGroupBox* Frame1 = nullptr;                              // "Balance Sheet"
    QLabel* Label5 = nullptr;                                 // "Date:"
    QDateEdit* dtpFrom = nullptr;                             // the balance-sheet date
    std::array<QLabel*, 14> lblYear{};                        // the shaded headings; indexes 7 to 11 do not exist
    std::array<QLineEdit*, kAssetCount> txtAssets{};          // asset captions
    std::array<QLineEdit*, kAssetCount> txtAmountAssets{};    // asset amounts
    std::array<QLineEdit*, kLiabilityCount> txtLiabilities{}; // liability and equity captions
    std::array<QLineEdit*, kLiabilityCount> txtAmountL{};     // liability and equity amounts
    services::PictureBox* Picture1 = nullptr; // an empty picture box in the frame, below the liabilities

    BalanceCheckView* balanceCheck = nullptr; // totals and verdict, in place of liability rows 11 to 13

    services::WindowPointer& mousePointer() { return *pointer_; }
    AmountRules& amountRules() { return *amountRules_; }
    const TabOrder& tabOrder() const { return *tabOrder_; }

    // "Start Creating Template": the generation run from end to end.
    void PushButton22_Click();
    // The preview window, made by the first run and reused; null before it.
    preview::Form2* form2() const { return form2_.get(); }
    // Where the run's random workbook names draw their digits from (numbers
    // in [0,1)); the clock-seeded default when empty. Lets tests choose names.
    void setWorkbookNameDraw(std::function<double()> draw) { workbookNameDraw_ = std::move(draw); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void connectChangeHandlers();
    void Form_Load(const generation::ApplicationFactory& createApplication);
    struct AmountRestoreLines;
    void restoreAmount(services::ErrorTrap& trap, QLineEdit* box, const QString& key, const AmountRestoreLines& lines);
    void PushButton1_Click();
    void PushButton2_Click();
    // The date and the amount texts, as the generation run writes them.
    generation::RunEntries runEntries() const;
    void fillAmounts(const QString& procedure, const std::function<QString(const LineItemRow&)>& textFor);

    services::WindowPointer* pointer_ = nullptr;
    AmountRules* amountRules_ = nullptr;
    std::unique_ptr<TabOrder> tabOrder_;
    bool centred_ = false;
    std::unique_ptr<preview::Form2> form2_;
    std::function<double()> workbookNameDraw_;
    bool runInProgress_ = false;
};

} // namespace entry
