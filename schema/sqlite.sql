-- The server's database "velto" for the embedded engine (SQLite). The build
-- turns this script into build/velto.bak, the seed that a first start
-- restores from. Names compare without regard to case where SQL Server's
-- default collation would (user names, room names).
PRAGMA page_size = 4096;

CREATE TABLE event_msg_list (
    MSG_INDEX INTEGER PRIMARY KEY AUTOINCREMENT,
    BUILD_NUM int NOT NULL DEFAULT 0,
    FLOOR_NUM int NOT NULL DEFAULT 0,
    ROOM_NUM int NOT NULL DEFAULT 0,
    UNIT_NUM int NOT NULL DEFAULT 0,
    MSG_TYPE int NOT NULL DEFAULT 0,
    MSG_TITLE varchar(50),
    MSG_NOTE varchar(100),
    CARD_SN int DEFAULT 0,
    CARD_ID int DEFAULT 0,
    MSG_TIME datetime NOT NULL DEFAULT (datetime('now', 'localtime'))
);

CREATE TABLE room_ip_list (
    BUILD_NUM int NOT NULL,
    FLOOR_NUM int NOT NULL,
    ROOM_NUM int NOT NULL,
    IP_ADDR int DEFAULT 0,
    IP_ADDR2 int DEFAULT 0,
    RMNAME varchar(30) COLLATE NOCASE,
    ADDR int DEFAULT 0,
    UNIQUE (BUILD_NUM, FLOOR_NUM, ROOM_NUM)
);
CREATE INDEX room_ip_list_name ON room_ip_list (RMNAME);

CREATE TABLE build_name (
    BUILD_NUM int NOT NULL PRIMARY KEY,
    BDNAME varchar(30)
);

CREATE TABLE sysoptions (
    Optioncode int NOT NULL PRIMARY KEY,
    Value varchar(50),
    Disabled int NOT NULL DEFAULT 0
);
-- 1, 2: record keeping (start-up writes 2 and 5 while they are empty);
-- 13: door-left-open alarm delay in seconds; 14, 15: the temperature range;
-- 16 to 19: the switches of the parameters dialog (in Disabled).
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES
    (1, '', 0), (2, '', 0),
    (13, '180', 0), (14, '5', 0), (15, '40', 0),
    (16, '0', 0), (17, '0', 0), (18, '0', 0), (19, '0', 0);

CREATE TABLE user_group (
    GROUP_TYPE int NOT NULL PRIMARY KEY,
    GROUP_NAME varchar(50),
    CANVIEWROOMSTATE int NOT NULL DEFAULT 0,
    CANCTRLROOMFENGJI int NOT NULL DEFAULT 0,
    CANCTRLROOMSTATE int NOT NULL DEFAULT 0,
    CANLISTMSG int NOT NULL DEFAULT 0,
    CANVIEWFLOOR int NOT NULL DEFAULT 0,
    CANUSERMAN int NOT NULL DEFAULT 0,
    CANVIEWLOG int NOT NULL DEFAULT 0,
    CANVIEWREALSTATE int NOT NULL DEFAULT 0,
    CANPRINT int NOT NULL DEFAULT 0,
    CANVIEWREPORT int NOT NULL DEFAULT 0,
    CANSYSTEMADMIN int NOT NULL DEFAULT 0,
    CANSCHEMESET int NOT NULL DEFAULT 0
);

CREATE TABLE user_password (
    USER_ID INTEGER PRIMARY KEY AUTOINCREMENT,
    USER_NAME varchar(50) NOT NULL COLLATE NOCASE,
    PASSWORD varchar(50) NOT NULL DEFAULT '',
    REG_TIME datetime NOT NULL DEFAULT (datetime('now', 'localtime')),
    BUILD_NUM int NOT NULL DEFAULT 0,
    FLOOR_NUM int NOT NULL DEFAULT 0,
    USER_TYPE int NOT NULL DEFAULT 0,
    GROUP_ID int NOT NULL DEFAULT 0,
    CANVIEWROOMSTATE int NOT NULL DEFAULT 0,
    CANCTRLROOMFENGJI int NOT NULL DEFAULT 0,
    CANCTRLROOMSTATE int NOT NULL DEFAULT 0,
    CANLISTMSG int NOT NULL DEFAULT 0,
    CANVIEWFLOOR int NOT NULL DEFAULT 0,
    CANUSERMAN int NOT NULL DEFAULT 0,
    CANVIEWLOG int NOT NULL DEFAULT 0,
    CANVIEWREALSTATE int NOT NULL DEFAULT 0,
    CANPRINT int NOT NULL DEFAULT 0,
    CANVIEWREPORT int NOT NULL DEFAULT 0,
    CANSYSTEMADMIN int NOT NULL DEFAULT 0,
    CANSCHEMESET int NOT NULL DEFAULT 0
);

CREATE TABLE system_run_log (
    LOG_INDEX INTEGER PRIMARY KEY AUTOINCREMENT,
    MSG_TITLE varchar(50),
    MSG_CONTENT varchar(200),
    MSG_TYPE int NOT NULL DEFAULT 0,
    MSG_TIME datetime NOT NULL DEFAULT (datetime('now', 'localtime'))
);

CREATE TABLE fengji_his (
    HIS_INDEX INTEGER PRIMARY KEY AUTOINCREMENT,
    build_num int NOT NULL,
    floor_num int NOT NULL,
    room_num int NOT NULL,
    fengji_halt int,
    fengji_ctrl int,
    fengji_speed int,
    temp_sensor int,
    set_temp int,
    cur_temp int,
    value_state int,
    comm_state int,
    season_mode int,
    fengji_id int,
    his_time datetime NOT NULL DEFAULT (datetime('now', 'localtime'))
);

-- Meter readings, one row per meter, updated in place.
CREATE TABLE tbltemp (
    unitband int NOT NULL,
    floorband int NOT NULL,
    roomband int NOT NULL,
    bandid int NOT NULL,
    isstatus int DEFAULT 0,
    dimhign int DEFAULT 0,
    dimcentre int DEFAULT 0,
    dimlow int DEFAULT 0,
    coldhign int DEFAULT 0,
    coldcentre int DEFAULT 0,
    coldlow int DEFAULT 0,
    UNIQUE (unitband, floorband, roomband, bandid)
);

-- The type of each fan-coil unit, updated in place.
CREATE TABLE tblsystemp (
    bandid int NOT NULL,
    unitband int NOT NULL,
    floorband int NOT NULL,
    roomband int NOT NULL,
    typeid int DEFAULT 0,
    UNIQUE (bandid, unitband, floorband, roomband)
);

CREATE TABLE lock_log (
    LOG_INDEX INTEGER PRIMARY KEY AUTOINCREMENT,
    cardnum int,
    cardtype int,
    time datetime,
    build int,
    floor int,
    room int
);
