#include "pictures/picture_metadata.h"

#include "session/modules.h"

#include <stdexcept>
#include <utility>

namespace quillmar {

const MetadataReader& Metadata()
{
    static const std::pair<const MetadataReader*, QString> loaded = [] {
        QString problem;
        const auto entry = reinterpret_cast<MetadataEntry>(
            ResolveModuleEntry(ModuleFolders(), QStringLiteral("quillmar_metadata"), kMetadataEntry, &problem));
        return std::pair(entry ? entry() : nullptr, problem);
    }();
    if (!loaded.first)
        throw std::runtime_error(
            qUtf8Printable(MissingModuleText(QStringLiteral("reads picture metadata"), loaded.second)));
    return *loaded.first;
}

}  // namespace quillmar
