#pragma once

#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/EngineErrors.h"
#include "spreadsheet/Value.h"

#include <gsf/gsf-doc-meta-data.h>

#include <QByteArray>
#include <QString>

#include <memory>
#include <stdexcept>

// Shared between the container (CompoundFile.cpp), its sector check
// (CompoundFileCheck.cpp) and the property sets (DocumentProperties.cpp).
// Everything here runs inside the container's libgsf session.
namespace spreadsheet::compound_file {

struct GObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T>
using GRef = std::unique_ptr<T, GObjectUnref>;

// Names that differ only in case are one name to the format.
inline bool sameEntryName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Bounds checked before libgsf reads the file, so that it never follows a
// chain it cannot afford. Throws FileFormatError.
void checkSectors(const QByteArray& file);

// Reading: what could be read stays in `meta`, a damaged set is no error.
void readPropertySet(const QByteArray& stream, GsfDocMetaData* meta);
DocumentProperties propertiesFrom(GsfDocMetaData* summary, GsfDocMetaData* documentSummary);

// Writing.
void fillMetaData(GsfDocMetaData* meta, const DocumentProperties& p);
QByteArray propertySetBytes(GsfDocMetaData* meta, bool documentSummary);

} // namespace spreadsheet::compound_file
