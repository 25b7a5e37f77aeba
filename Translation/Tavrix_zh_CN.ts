<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CanDataExporter</name>
    <message>
        <source>CAN type</source>
        <translation>CAN 类型</translation>
    </message>
    <message>
        <source>Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>Data frame </source>
        <translation>数据帧 </translation>
    </message>
    <message>
        <source>Direction</source>
        <translation>方向</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Extend frame</source>
        <translation>扩展帧</translation>
    </message>
    <message>
        <source>FD BRS</source>
        <translation>FD 加速</translation>
    </message>
    <message>
        <source>Frame format</source>
        <translation>帧格式</translation>
    </message>
    <message>
        <source>Frame type</source>
        <translation>帧类型</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>长度</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Remote frame</source>
        <translation>远程帧</translation>
    </message>
    <message>
        <source>Rx </source>
        <translation>接收 </translation>
    </message>
    <message>
        <source>Standard frame </source>
        <translation>标准帧 </translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Tx </source>
        <translation>发送 </translation>
    </message>
    <message>
        <source>there are no frames to write</source>
        <translation>没有可写入的帧</translation>
    </message>
    <message>
        <source>the folder does not exist</source>
        <translation>文件夹不存在</translation>
    </message>
    <message>
        <source>no permission to write there</source>
        <translation>没有写入权限</translation>
    </message>
    <message>
        <source>no space left on the disk</source>
        <translation>磁盘空间不足</translation>
    </message>
    <message>
        <source>the file was removed while it was written</source>
        <translation>文件在写入时被删除</translation>
    </message>
    <message>
        <source>the file could not be written (%1)</source>
        <translation>无法写入文件（%1）</translation>
    </message>
</context>
<context>
    <name>DataModel</name>
    <message>
        <source>Data</source>
        <translation>数据</translation>
    </message>
    <message>
        <source>Data frame</source>
        <translation>数据帧</translation>
    </message>
    <message>
        <source>Dir</source>
        <translation>方向</translation>
    </message>
    <message>
        <source>Extended frame</source>
        <translation>扩展帧</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>帧格式</translation>
    </message>
    <message>
        <source>Len</source>
        <translation>长度</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>序号.</translation>
    </message>
    <message>
        <source>Pro</source>
        <translation>协议</translation>
    </message>
    <message>
        <source>Remote frame</source>
        <translation>远程帧</translation>
    </message>
    <message>
        <source>Standard frame</source>
        <translation>标准帧</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>帧类型</translation>
    </message>
    <message>
        <source>rec</source>
        <translation>接收</translation>
    </message>
    <message>
        <source>send</source>
        <translation>发送</translation>
    </message>
</context>
<context>
    <name>DatabaseControl</name>
    <message>
        <source>; warnings: %1</source>
        <translation>；警告：%1</translation>
    </message>
    <message>
        <source>Clear databases</source>
        <translation>清除数据库</translation>
    </message>
    <message>
        <source>DBC databases (*.dbc);;All files (*)</source>
        <translation>DBC 数据库 (*.dbc);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>数据库</translation>
    </message>
    <message>
        <source>Database not loaded: %1</source>
        <translation>数据库未加载：%1</translation>
    </message>
    <message>
        <source>Database not loaded: %1 (and %2 more)</source>
        <translation>数据库未加载：%1（另有 %2 个）</translation>
    </message>
    <message>
        <source>Database...</source>
        <translation>数据库…</translation>
    </message>
    <message>
        <source>Databases unloaded: no message names</source>
        <translation>已卸载数据库：不再显示报文名称</translation>
    </message>
    <message>
        <source>Databases loaded: %1; messages: %2</source>
        <translation>已加载数据库：%1；报文数：%2</translation>
    </message>
    <message>
        <source>Load DBC databases: message names and signals</source>
        <translation>加载 DBC 数据库：报文名称与信号</translation>
    </message>
    <message>
        <source>Select databases</source>
        <translation>选择数据库</translation>
    </message>
    <message>
        <source>Warnings: %1 (see the details)</source>
        <translation>警告：%1（见详细信息）</translation>
    </message>
</context>
<context>
    <name>ReadReport</name>
    <message>
        <source>the file does not exist</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>it is a folder, not a file</source>
        <translation>这是文件夹，不是文件</translation>
    </message>
    <message>
        <source>no permission to read it</source>
        <translation>没有读取权限</translation>
    </message>
    <message>
        <source>unsupported format; readable formats: %1</source>
        <translation>不支持的格式；可读取的格式：%1</translation>
    </message>
    <message>
        <source>not a BLF file</source>
        <translation>不是 BLF 文件</translation>
    </message>
    <message>
        <source>no frames in the file</source>
        <translation>文件中没有帧</translation>
    </message>
    <message>
        <source>no frames in the file; a CSV log needs the nine columns of the header Tavrix writes</source>
        <translation>文件中没有帧；CSV 日志需要 Tavrix 所写表头的九列</translation>
    </message>
    <message>
        <source>the file cannot be read</source>
        <translation>无法读取该文件</translation>
    </message>
</context>
<context>
    <name>SignalPanel</name>
    <message>
        <source>Raw (hex)</source>
        <translation>原始值(十六进制)</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>信号</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Value text</source>
        <translation>值描述</translation>
    </message>
</context>
<context>
    <name>Tavrix</name>
    <message>
        <source>Signals</source>
        <translation>信号</translation>
    </message>
    <message>
        <source>Add file</source>
        <translation>添加文件</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清空</translation>
    </message>
    <message>
        <source>Conversion</source>
        <translation>转换</translation>
    </message>
    <message>
        <source>Conversion Control</source>
        <translation>转换设置与控制</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Kelvane</source>
        <translation>Kelvane-ZH</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>目标格式:</translation>
    </message>
    <message>
        <source>Hit</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>ID sorting:</source>
        <translation>ID 排序:</translation>
    </message>
    <message>
        <source>No data available</source>
        <translation>没有可用数据</translation>
    </message>
    <message>
        <source>Operation Complete</source>
        <translation>操作完成</translation>
    </message>
    <message>
        <source>Output path:</source>
        <translation>输出路径:</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>选择</translation>
    </message>
    <message>
        <source>Select Files</source>
        <translation>选择文件</translation>
    </message>
    <message>
        <source>Translate</source>
        <translation>翻译</translation>
    </message>
    <message>
        <source>Conversion failed</source>
        <translation>转换失败</translation>
    </message>
    <message>
        <source>Too many frames: only the first %1 are shown</source>
        <translation>帧数过多：仅显示前 %1 帧</translation>
    </message>
    <message>
        <source>Reading %1: %2 frames, %3%</source>
        <translation>正在读取 %1：%2 帧，%3%</translation>
    </message>
    <message>
        <source>%1 frames read from %2 in %3 s</source>
        <translation>已从 %2 读取 %1 帧，用时 %3 秒</translation>
    </message>
    <message>
        <source>%1 ends early (damaged or cut): %2 frames read</source>
        <translation>%1 提前结束（已损坏或被截断）：读取了 %2 帧</translation>
    </message>
    <message>
        <source>The first %1 frames of %2 are shown: the table holds no more</source>
        <translation>显示 %2 的前 %1 帧：表格已满</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>Writing %1...</source>
        <translation>正在写入 %1...</translation>
    </message>
    <message>
        <source>%1 written: %2 frames</source>
        <translation>已写入 %1：%2 帧</translation>
    </message>
    <message>
        <source>Writing %1 failed: %2</source>
        <translation>写入 %1 失败：%2</translation>
    </message>
</context>
<context>
    <name>TavrixClass</name>
    <message>
        <source>Conversion Control</source>
        <translation>转换设置与控制</translation>
    </message>
    <message>
        <source>Kelvane</source>
        <translation>Kelvane-ZH</translation>
    </message>
    <message>
        <source>default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>from large to small</source>
        <translation>从大到小</translation>
    </message>
    <message>
        <source>from small to large</source>
        <translation>从小到大</translation>
    </message>
</context>
</TS>
