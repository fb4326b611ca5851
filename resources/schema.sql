-- The empty database supplied with the program: customers, calls and the
-- dictionary of choice values.  ID is assigned by the database and only grows.
CREATE TABLE 客户数据 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  联系人 TEXT, 电话 TEXT, 手机 TEXT, 宅电 TEXT, 公司名称 TEXT, 地址 TEXT,
  EMAIL TEXT, QQ TEXT, MSN TEXT, 网址 TEXT, 部门 TEXT, 职务 TEXT,
  分类1 TEXT, 分类2 TEXT, 邮编 TEXT, 事项 TEXT, 答复 TEXT
);
CREATE TABLE 来电数据 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  电话 TEXT, 手机 TEXT, 日期 TEXT, 时间 TEXT,
  联系人 TEXT, 宅电 TEXT, 公司名称 TEXT, 地址 TEXT,
  EMAIL TEXT, QQ TEXT, MSN TEXT, 网址 TEXT, 部门 TEXT, 职务 TEXT,
  分类1 TEXT, 分类2 TEXT, 邮编 TEXT, 事项 TEXT, 答复 TEXT
);
CREATE TABLE 字典 (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  项目 TEXT,
  内容 TEXT
);
