# Precompiled headers, one per layer: the Qt and standard headers that most
# files of the layer include, parsed once instead of in every file. A target
# either builds its layer's header or reuses the one another target built; a
# reuse needs the same compile flags and definitions as the target that built
# it, or GCC ignores the header (-Winvalid-pch says so in the build log).
# Never a header of the project itself: an edit to one would rebuild
# everything. TARNWICK_PRECOMPILE=OFF builds without them, which shows a file
# that leans on the precompiled header for an include of its own.
option(TARNWICK_PRECOMPILE "Precompile the Qt and standard headers of each layer" ON)
if(TARNWICK_PRECOMPILE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Winvalid-pch)
endif()

# The core and the programs on it (tarnwick-cli, the simulator): no widgets.
set(tarnwick_core_pch_headers
    <algorithm> <array> <cmath> <functional> <map> <memory> <optional> <variant> <vector>
    <QByteArray> <QCoreApplication> <QDeadlineTimer> <QElapsedTimer> <QFile> <QFileInfo>
    <QHash> <QJsonArray> <QJsonDocument> <QJsonObject> <QList> <QMap> <QObject>
    <QRegularExpression> <QSerialPort> <QSocketNotifier> <QString> <QStringList> <QTcpSocket>
    <QTimer>)

# The window: the widgets its form and handlers use.
set(tarnwick_window_pch_headers ${tarnwick_core_pch_headers}
    <QAction> <QApplication> <QCheckBox> <QComboBox> <QGroupBox> <QKeyEvent> <QLabel>
    <QLineEdit> <QMainWindow> <QMenu> <QMenuBar> <QMessageBox> <QMouseEvent> <QPointer>
    <QPushButton> <QScrollBar> <QStatusBar> <QWidget>)

# The tests: QtTest, and what the end-to-end tests start and read.
set(tarnwick_test_pch_headers ${tarnwick_window_pch_headers}
    <QDir> <QProcess> <QSignalSpy> <QTcpServer> <QTemporaryDir> <QTest> <QThread>)

# AUTOMOC's file of a target that includes its moc output itself (every test
# does) is empty, yet loading a precompiled header costs as much as parsing a
# small file: it goes without.
function(tarnwick_skip_precompiled_mocs target)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/mocs_compilation.cpp
        TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()

# Gives target the precompiled header of its layer (core, window or test).
function(tarnwick_precompile target layer)
    if(TARNWICK_PRECOMPILE)
        target_precompile_headers(${target} PRIVATE ${tarnwick_${layer}_pch_headers})
    endif()
endfunction()

# Lets target use the precompiled header that source built.
function(tarnwick_reuse_precompiled target source)
    if(TARNWICK_PRECOMPILE)
        target_precompile_headers(${target} REUSE_FROM ${source})
    endif()
endfunction()
