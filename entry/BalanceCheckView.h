#pragma once

#include <QList>
#include <QObject>

class QLabel;
class QLineEdit;
class QWidget;

namespace entry {

// Where the lines go, in twips inside their frame: a caption column and an
// amount column, one row a line.
struct BalanceCheckPlaces {
    int captionLeft, captionWidth, amountLeft, amountWidth;
    int firstTop, rowStep, height;
};

// Three read-only lines under the liabilities: total assets, total
// liabilities and equity, and their difference with a verdict, as the
// generated sheet will compute them. They follow every change of the amount
// boxes, take no focus, store nothing and let the pointer through to what
// lies under them.
class BalanceCheckView : public QObject {
    Q_OBJECT
public:
    // The lines stay blank until the first refresh(): the owner calls it
    // once the boxes hold their first amounts, so a start computes once.
    BalanceCheckView(QWidget* frame, QList<QLineEdit*> assetAmounts, QList<QLineEdit*> liabilityAmounts,
                     const BalanceCheckPlaces& places);

    // Computes the lines now (changes are otherwise taken once per turn of
    // the event loop).
    void refresh();

    QLabel* totalAssetsCaption = nullptr;      // "Total assets"
    QLabel* totalAssets = nullptr;             // its amount, blank when the sheet leaves it blank
    QLabel* totalLiabilitiesCaption = nullptr; // "Total liabilities & equity"
    QLabel* totalLiabilities = nullptr;
    QLabel* differenceCaption = nullptr; // "Difference"
    QLabel* difference = nullptr;
    QLabel* verdict = nullptr; // "In balance", "Out of balance" or "Not complete"

private:
    void scheduleRefresh();

    QList<QLineEdit*> assetAmounts_;
    QList<QLineEdit*> liabilityAmounts_;
    bool refreshPending_ = false;
};

} // namespace entry
