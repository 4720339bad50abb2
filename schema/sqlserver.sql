-- The server's database "velto" on SQL Server. Run it in an empty database
-- named velto whose files have the logical names velto_data and velto_log
-- (the names a first start's restore moves), then back it up as velto.bak:
--   CREATE DATABASE velto ON (NAME = velto_data, FILENAME = '...\velto.mdf')
--                         LOG ON (NAME = velto_log, FILENAME = '...\velto.ldf')
--   GO
--   USE velto
--   GO
-- The live-room table ##REALTIMEROOM is not part of the database: the server
-- creates it at every start.

CREATE TABLE event_msg_list (
    MSG_INDEX bigint IDENTITY (1, 1) NOT NULL PRIMARY KEY,
    BUILD_NUM int NOT NULL DEFAULT 0,
    FLOOR_NUM int NOT NULL DEFAULT 0,
    ROOM_NUM int NOT NULL DEFAULT 0,
    UNIT_NUM int NOT NULL DEFAULT 0,
    MSG_TYPE int NOT NULL DEFAULT 0,
    MSG_TITLE varchar(50) NULL,
    MSG_NOTE varchar(100) NULL,
    CARD_SN int NULL DEFAULT 0,
    CARD_ID int NULL DEFAULT 0,
    MSG_TIME datetime NOT NULL DEFAULT getdate()
)
GO

CREATE TABLE room_ip_list (
    BUILD_NUM int NOT NULL,
    FLOOR_NUM int NOT NULL,
    ROOM_NUM int NOT NULL,
    IP_ADDR int NULL DEFAULT 0,
    IP_ADDR2 int NULL DEFAULT 0,
    RMNAME varchar(30) NULL,
    ADDR int NULL DEFAULT 0,
    CONSTRAINT room_ip_list_key UNIQUE (BUILD_NUM, FLOOR_NUM, ROOM_NUM)
)
GO
CREATE INDEX room_ip_list_name ON room_ip_list (RMNAME)
GO

CREATE TABLE build_name (
    BUILD_NUM int NOT NULL PRIMARY KEY,
    BDNAME varchar(30) NULL
)
GO

CREATE TABLE sysoptions (
    Optioncode int NOT NULL PRIMARY KEY,
    Value varchar(50) NULL,
    Disabled int NOT NULL DEFAULT 0
)
GO
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (1, '', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (2, '', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (13, '180', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (14, '5', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (15, '40', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (16, '0', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (17, '0', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (18, '0', 0)
INSERT INTO sysoptions (Optioncode, Value, Disabled) VALUES (19, '0', 0)
GO

-- Stores an option's value and flag; reports the one row it changed.
CREATE PROCEDURE UpdateSysOptions @code int, @disabled int, @value varchar(50)
AS
    SET NOCOUNT OFF
    UPDATE sysoptions SET Value = @value, Disabled = @disabled WHERE Optioncode = @code
GO

CREATE TABLE user_group (
    GROUP_TYPE int NOT NULL PRIMARY KEY,
    GROUP_NAME varchar(50) NULL,
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
)
GO

CREATE TABLE user_password (
    USER_ID int IDENTITY (1, 1) NOT NULL PRIMARY KEY,
    USER_NAME varchar(50) NOT NULL,
    PASSWORD varchar(50) NOT NULL DEFAULT '',
    REG_TIME datetime NOT NULL DEFAULT getdate(),
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
)
GO

CREATE TABLE system_run_log (
    LOG_INDEX bigint IDENTITY (1, 1) NOT NULL PRIMARY KEY,
    MSG_TITLE varchar(50) NULL,
    MSG_CONTENT varchar(200) NULL,
    MSG_TYPE int NOT NULL DEFAULT 0,
    MSG_TIME datetime NOT NULL DEFAULT getdate()
)
GO

CREATE TABLE fengji_his (
    HIS_INDEX bigint IDENTITY (1, 1) NOT NULL PRIMARY KEY,
    build_num int NOT NULL,
    floor_num int NOT NULL,
    room_num int NOT NULL,
    fengji_halt int NULL,
    fengji_ctrl int NULL,
    fengji_speed int NULL,
    temp_sensor int NULL,
    set_temp int NULL,
    cur_temp int NULL,
    value_state int NULL,
    comm_state int NULL,
    season_mode int NULL,
    fengji_id int NULL,
    his_time datetime NOT NULL DEFAULT getdate()
)
GO

CREATE TABLE tbltemp (
    unitband int NOT NULL,
    floorband int NOT NULL,
    roomband int NOT NULL,
    bandid int NOT NULL,
    isstatus int NULL DEFAULT 0,
    dimhign int NULL DEFAULT 0,
    dimcentre int NULL DEFAULT 0,
    dimlow int NULL DEFAULT 0,
    coldhign int NULL DEFAULT 0,
    coldcentre int NULL DEFAULT 0,
    coldlow int NULL DEFAULT 0,
    CONSTRAINT tbltemp_key UNIQUE (unitband, floorband, roomband, bandid)
)
GO

CREATE TABLE tblsystemp (
    bandid int NOT NULL,
    unitband int NOT NULL,
    floorband int NOT NULL,
    roomband int NOT NULL,
    typeid int NULL DEFAULT 0,
    CONSTRAINT tblsystemp_key UNIQUE (bandid, unitband, floorband, roomband)
)
GO

CREATE TABLE lock_log (
    LOG_INDEX bigint IDENTITY (1, 1) NOT NULL PRIMARY KEY,
    cardnum int NULL,
    cardtype int NULL,
    [time] datetime NULL,
    build int NULL,
    floor int NULL,
    room int NULL
)
GO
