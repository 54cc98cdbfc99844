#pragma once

#include "fileutils/IFileUtils.h"

class FileUtils final : public IFileUtils {
public:
    std::string getExecutableDirectory() const override;
};
