#include "plugin/import_request.h"

#include <cstdio>

#include "document/storage.h"
#include "platform/files.h"
#include "reader/file_reader.h"

namespace bxml {

int importFile(SceneDocument& doc, HostScene* scene) {
    if (scene == nullptr) return 0;
    clearDocument(doc);
    doc.filePath.assign(scene->fileName.wide);

    std::FILE* file = openFileForReading(doc.filePath.c_str());
    if (file == nullptr) return 0;
    const int result = readSceneFile(doc, file);
    std::fclose(file);

    if (result == -1) {
        scene->errorMessage.assign(MESSAGE_NOT_ORVK);
        return 0;
    }
    if (result == 0) {
        scene->errorMessage.assign(MESSAGE_UNABLE_TO_PARSE);
        return 0;
    }
    return 1;
}

void enterFolderOfScene(const SceneDocument& doc) {
    wchar_t folder[WidePath::CAPACITY];
    if (!folderOfPath(doc.filePath.c_str(), folder, WidePath::CAPACITY)) folder[0] = L'\0';
    setCurrentDirectory(folder);
}

} // namespace bxml
