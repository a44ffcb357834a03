#include "spreadsheet/CompoundFileParts.h"

#include <QtEndian>

#include <algorithm>
#include <vector>

// Bounds checked before libgsf reads the file.
namespace spreadsheet::compound_file {

namespace {

// libgsf 1.14.50 reserves 128 bytes per byte of the directory's sector
// chain (in a 32-bit size that wraps), recurses once per directory entry,
// and sizes the mini-sector table by its chain; so the chains are bounded
// before libgsf sees them. Workbook files stay far below these.
constexpr qint64 kMaxDirectoryBytes = 128 * 1024; // 1024 entries
constexpr qint64 kMaxMiniTableBytes = 256 * 1024; // 4 MiB of mini stream

class SectorCheck {
public:
    explicit SectorCheck(const QByteArray& file) : file_(file), size_(file.size()) {}

    void run()
    {
        const quint16 sectorShift = u16(0x1E);
        const quint16 miniShift = u16(0x20);
        if (sectorShift != 9 && sectorShift != 12)
            fail(QStringLiteral("the compound document is damaged: its header gives a sector shift of %1, "
                                "where only 9 (512-byte sectors) and 12 (4096-byte sectors) occur")
                     .arg(sectorShift));
        if (miniShift != 6)
            fail(QStringLiteral("the compound document is damaged: its header gives a mini-sector shift of %1, "
                                "where only 6 (64-byte mini sectors) occurs")
                     .arg(miniShift));
        sector_ = qint64(1) << sectorShift;
        perSector_ = quint32(sector_ / 4);
        headerBytes_ = std::max<qint64>(512, sector_);
        const qint64 sectorsInFile = (size_ - 512 + sector_ - 1) / sector_;

        const quint32 fatCount = u32(0x2C);
        const quint32 directoryStart = u32(0x30);
        const quint32 miniTableStart = u32(0x3C);
        const quint32 miniTableCount = u32(0x40);
        if (fatCount >= sectorsInFile || miniTableCount >= sectorsInFile)
            fail(QStringLiteral("the file is cut short or damaged: its header counts %1 allocation-table and "
                                "%2 mini-table sectors, but the file holds only %3 sectors")
                     .arg(fatCount)
                     .arg(miniTableCount)
                     .arg(sectorsInFile));
        listAllocationSectors(fatCount);
        entries_ = quint64(fatCount) * perSector_;

        if (directoryStart >= entries_)
            fail(QStringLiteral("the compound document is damaged: its directory starts at sector %1, "
                                "outside its allocation table")
                     .arg(directoryStart));
        const quint64 directoryLimit = quint64(kMaxDirectoryBytes / sector_);
        const std::vector<quint32> directory = chain(directoryStart, directoryLimit);
        if (directory.size() > directoryLimit)
            fail(QStringLiteral("the compound document is damaged: its directory runs over more than %1 sectors "
                                "(or in a circle), where workbook files need a few")
                     .arg(directoryLimit));
        for (quint32 sector : directory)
            requireInFile(sector, QStringLiteral("a sector of its directory"));

        const quint64 miniLimit = quint64(kMaxMiniTableBytes / sector_);
        if (chain(miniTableStart, miniLimit).size() > miniLimit)
            fail(QStringLiteral("the compound document is damaged: its mini-sector table runs over more than "
                                "%1 sectors (or in a circle)")
                     .arg(miniLimit));
    }

private:
    quint16 u16(qint64 at) const { return qFromLittleEndian<quint16>(file_.constData() + at); }
    quint32 u32(qint64 at) const { return qFromLittleEndian<quint32>(file_.constData() + at); }

    qint64 sectorStart(quint32 sector) const { return headerBytes_ + qint64(sector) * sector_; }
    bool inFile(quint32 sector) const { return sectorStart(sector) + sector_ <= size_; }

    void requireInFile(quint32 sector, const QString& what) const
    {
        if (!inFile(sector))
            fail(QStringLiteral("the file is cut short or damaged: %1 is sector %2, which would end at byte %3, "
                                "but the file has %4 bytes")
                     .arg(what)
                     .arg(sector)
                     .arg(sectorStart(sector) + sector_)
                     .arg(size_));
    }

    // The sectors of the allocation table, as libgsf lists them from the
    // header and the chain of extension sectors.
    void listAllocationSectors(quint32 count)
    {
        const QString what = QStringLiteral("a sector of its allocation table");
        quint32 remaining = count;
        const quint32 inHeader = std::min<quint32>(remaining, 109);
        for (quint32 i = 0; i < inHeader; ++i)
            addAllocationSector(u32(0x4C + 4 * qint64(i)), what);
        remaining -= inHeader;

        quint32 extension = u32(0x44);
        quint32 extensions = u32(0x48);
        const quint32 perExtension = perSector_ - 1;
        while (extensions-- > 0) {
            requireInFile(extension, QStringLiteral("a sector listing its allocation table"));
            const qint64 base = sectorStart(extension);
            quint32 take = perExtension;
            if (extensions == 0) {
                if (perExtension < remaining)
                    fail(QStringLiteral("the compound document is damaged: its header counts more "
                                        "allocation-table sectors than it lists"));
                take = remaining;
            } else {
                if (remaining < perExtension)
                    fail(QStringLiteral("the compound document is damaged: its header lists more "
                                        "allocation-table sectors than it counts"));
                remaining -= perExtension;
                extension = u32(base + 4 * qint64(perExtension));
            }
            for (quint32 i = 0; i < take; ++i)
                addAllocationSector(u32(base + 4 * qint64(i)), what);
        }
    }

    void addAllocationSector(quint32 sector, const QString& what)
    {
        if (sector != kFree)
            requireInFile(sector, what);
        allocationSectors_.push_back(sector);
    }

    // Where the allocation table sends a chain after `sector`; libgsf leaves
    // unlisted parts zero and free-marked sectors all free.
    quint32 next(quint32 sector) const
    {
        const quint64 index = sector / perSector_;
        if (index >= allocationSectors_.size())
            return 0;
        const quint32 tableSector = allocationSectors_[index];
        if (tableSector == kFree)
            return kFree;
        return u32(sectorStart(tableSector) + 4 * qint64(sector % perSector_));
    }

    // The chain from `start` as libgsf follows it (stopping at the end of the
    // table or at a sector seen before), cut one past `limit`.
    std::vector<quint32> chain(quint32 start, quint64 limit) const
    {
        std::vector<quint32> sectors;
        std::vector<bool> seen(entries_, false);
        for (quint32 sector = start; sector < entries_ && !seen[sector]; sector = next(sector)) {
            seen[sector] = true;
            sectors.push_back(sector);
            if (sectors.size() > limit)
                break;
        }
        return sectors;
    }

    static constexpr quint32 kFree = 0xFFFFFFFF;

    const QByteArray& file_;
    const qint64 size_;
    qint64 sector_ = 512;
    quint32 perSector_ = 128;
    qint64 headerBytes_ = 512;
    quint64 entries_ = 0;
    std::vector<quint32> allocationSectors_;
};

} // namespace

void checkSectors(const QByteArray& file)
{
    SectorCheck(file).run();
}

} // namespace spreadsheet::compound_file
