-- Sample database of the demo server that scripts/run starts: a small mail-order shop.
-- Loaded as root into a fresh private server. Rows are generated from fixed word lists with
-- integer arithmetic, so every run yields the same data.
--
--   customers      320 rows, integer key, accented names, NULLs
--   products        60 rows, ENUM, SET, DECIMAL, FLOAT, unique SKU
--   `order`      1,200 rows, named after a reserved word, secondary key on customer_id
--   order_items  ~3,000 rows, composite primary key (order_id, line_no)
--   `stock level`  180 rows, name with a space, composite key, DATE and YEAR
--   audit_log      500 rows, no key at all, TIMESTAMP and JSON
--   all_types       12 rows, one column of every common type, NULLs, non-ASCII text and emoji
--   customer_totals       view over customers and `order`

SET NAMES utf8mb4;
SET time_zone = '+00:00';
SET SESSION max_recursive_iterations = 100000;

DROP DATABASE IF EXISTS norvane_demo;
CREATE DATABASE norvane_demo CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE norvane_demo;

CREATE TABLE customers (
    id          INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
    first_name  VARCHAR(40)  NOT NULL,
    last_name   VARCHAR(40)  NOT NULL,
    email       VARCHAR(120) NOT NULL UNIQUE,
    city        VARCHAR(60)  NOT NULL,
    country     CHAR(2)      NOT NULL,
    phone       VARCHAR(24)  NULL,
    birth_date  DATE         NULL,
    signed_up   DATETIME     NOT NULL,
    newsletter  TINYINT(1)   NOT NULL DEFAULT 0,
    notes       TEXT         NULL
) ENGINE=InnoDB;

INSERT INTO customers (first_name, last_name, email, city, country, phone, birth_date, signed_up,
                       newsletter, notes)
WITH RECURSIVE seq (n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 320),
named AS (
    SELECT n,
           ELT(1 + (n * 7) % 30, 'Anna', 'Bruno', 'Chloé', 'Dávid', 'Emma', 'François', 'Greta',
               'Håkon', 'Inès', 'Jürgen', 'Katarzyna', 'Luca', 'María', 'Niamh', 'Oskar', 'Paula',
               'Quentin', 'Renée', 'Søren', 'Tomás', 'Ursula', 'Václav', 'Wiebke', 'Xavier',
               'Yusuf', 'Zoë', 'Łukasz', 'Ángel', 'Björn', 'Élodie') AS first_name,
           ELT(1 + (n * 13) % 28, 'Müller', 'García', 'Dubois', 'Rossi', 'Nowak', 'Jensen',
               'O''Brien', 'Svensson', 'Dvořák', 'Fernández', 'Schmidt', 'Lefèvre', 'Kowalski',
               'Andersen', 'Horváth', 'Novák', 'Papadopoulos', 'Van der Berg', 'Costa', 'Nieminen',
               'Öztürk', 'Şahin', 'Ivanova', 'Berg', 'Moreau', 'Bianchi', 'Walsh', 'Lindqvist')
               AS last_name,
           1 + (n * 11) % 16 AS place
    FROM seq
)
SELECT first_name,
       last_name,
       LOWER(CONCAT(first_name, '.', REPLACE(REPLACE(last_name, ' ', ''), '''', ''), n,
                    '@example.', ELT(1 + n % 3, 'com', 'org', 'net'))),
       ELT(place, 'Berlin', 'München', 'Paris', 'Lyon', 'Madrid', 'Sevilla', 'Roma', 'Kraków',
           'København', 'Dublin', 'Göteborg', 'Praha', 'Wien', 'Zürich', 'Helsinki', 'İstanbul'),
       ELT(place, 'DE', 'DE', 'FR', 'FR', 'ES', 'ES', 'IT', 'PL', 'DK', 'IE', 'SE', 'CZ', 'AT',
           'CH', 'FI', 'TR'),
       IF(n % 9 = 0, NULL, CONCAT('+', 30 + place, ' ', LPAD((n * 7919) % 1000000, 6, '0'),
                                 ' ', LPAD(n % 1000, 3, '0'))),
       IF(n % 7 = 0, NULL, DATE('1950-01-01') + INTERVAL ((n * 4801) % 18000) DAY),
       TIMESTAMP('2019-01-01 08:00:00') + INTERVAL ((n * 86413) % 157680000) SECOND,
       IF(n % 3 = 0, 1, 0),
       CASE n % 11
           WHEN 0 THEN 'Prefers delivery after 17:00.'
           WHEN 3 THEN 'Paid by invoice twice, both on time ✔'
           WHEN 5 THEN 'Wants the catalogue in print — no e-mail.'
           WHEN 8 THEN 'Große Bestellung zu Weihnachten 🎄'
           ELSE NULL
       END
FROM named;

CREATE TABLE products (
    id          SMALLINT UNSIGNED NOT NULL PRIMARY KEY,
    sku         CHAR(8)       NOT NULL UNIQUE,
    name        VARCHAR(80)   NOT NULL,
    category    ENUM('books', 'music', 'games', 'garden', 'kitchen', 'toys') NOT NULL,
    price       DECIMAL(10,2) NOT NULL,
    weight_kg   FLOAT         NULL,
    tags        SET('new', 'sale', 'gift', 'eco', 'bestseller') NOT NULL DEFAULT '',
    description TEXT          NULL,
    KEY idx_category (category)
) ENGINE=InnoDB;

INSERT INTO products (id, sku, name, category, price, weight_kg, tags, description)
WITH RECURSIVE seq (n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 60)
SELECT n,
       CONCAT(ELT(1 + n % 6, 'BK', 'MU', 'GA', 'GD', 'KI', 'TO'), LPAD(n * 37, 6, '0')),
       CONCAT(ELT(1 + n % 6, 'Paperback: ', 'Vinyl: ', 'Board game: ', 'Garden ', 'Kitchen ',
                  'Toy '),
              ELT(1 + (n DIV 6) % 10, 'Northern Lights', 'Café au lait', 'The Long Winter',
                  'Straße der Lieder', 'Évora Nights', 'Blue Harbour', 'Stone & Moss',
                  'Mañana', 'Ørsted Field', 'Copper Kettle')),
       ELT(1 + n % 6, 'books', 'music', 'games', 'garden', 'kitchen', 'toys'),
       ROUND(4.99 + ((n * 1373) % 9000) / 100, 2),
       IF(n % 10 = 0, NULL, ((n * 37) % 250) / 100 + 0.05),
       CONCAT_WS(',', IF(n % 5 = 0, 'new', NULL), IF(n % 4 = 1, 'sale', NULL),
                 IF(n % 7 = 2, 'gift', NULL), IF(n % 6 = 3, 'eco', NULL),
                 IF(n % 9 = 4, 'bestseller', NULL)),
       IF(n % 8 = 0, NULL,
          CONCAT('Item ', n, ' of our ', ELT(1 + n % 6, 'book', 'music', 'games', 'garden',
                                           'kitchen', 'toy'),
                 ' range. ', ELT(1 + n % 4, 'Ships in two days.', 'Limited stock.',
                                 'Hand-made in Portugal.', 'Rated ★★★★☆ by our customers.')))
FROM seq;

CREATE TABLE `order` (
    id          INT UNSIGNED  NOT NULL PRIMARY KEY,
    customer_id INT UNSIGNED  NOT NULL,
    ordered_at  DATETIME      NOT NULL,
    status      ENUM('new', 'paid', 'shipped', 'delivered', 'cancelled') NOT NULL DEFAULT 'new',
    shipping    DECIMAL(8,2)  NOT NULL DEFAULT 0.00,
    comment     VARCHAR(200)  NULL,
    KEY idx_customer (customer_id)
) ENGINE=InnoDB;

INSERT INTO `order` (id, customer_id, ordered_at, status, shipping, comment)
WITH RECURSIVE seq (n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 1200)
SELECT 10000 + n,
       1 + (n * 97) % 320,
       TIMESTAMP('2023-01-02 09:00:00') + INTERVAL (n * 24 * 3600 DIV 2 + (n * 3571) % 36000) SECOND,
       CASE WHEN n > 1180 THEN 'new'
            WHEN n > 1150 THEN 'paid'
            WHEN n > 1100 THEN 'shipped'
            WHEN n % 23 = 0 THEN 'cancelled'
            ELSE 'delivered' END,
       ELT(1 + n % 4, 0.00, 4.95, 4.95, 9.90),
       CASE n % 17 WHEN 0 THEN 'Leave at the neighbour''s door'
                   WHEN 5 THEN 'Gift wrap, please 🎁'
                   WHEN 9 THEN 'Lieferung bitte nur vormittags'
                   ELSE NULL END
FROM seq;

CREATE TABLE order_items (
    order_id    INT UNSIGNED      NOT NULL,
    line_no     TINYINT UNSIGNED  NOT NULL,
    product_id  SMALLINT UNSIGNED NOT NULL,
    quantity    SMALLINT          NOT NULL,
    unit_price  DECIMAL(10,2)     NOT NULL,
    discount    DOUBLE            NOT NULL DEFAULT 0,
    PRIMARY KEY (order_id, line_no),
    KEY idx_product (product_id)
) ENGINE=InnoDB;

INSERT INTO order_items (order_id, line_no, product_id, quantity, unit_price, discount)
WITH RECURSIVE seq (n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 1200),
line_nos (l) AS (SELECT 1 UNION ALL SELECT l + 1 FROM line_nos WHERE l < 4)
SELECT 10000 + s.n,
       l.l,
       p.id,
       1 + (s.n * l.l * 7) % 5,
       p.price,
       IF((s.n + l.l) % 10 = 0, 0.1, 0)
FROM seq s
JOIN line_nos l ON l.l <= 1 + (s.n * 5) % 4
JOIN products p ON p.id = 1 + (s.n * 13 + l.l * 17) % 60;

CREATE TABLE `stock level` (
    product_id  SMALLINT UNSIGNED NOT NULL,
    warehouse   VARCHAR(20)  NOT NULL,
    counted_on  DATE         NOT NULL,
    season      YEAR         NOT NULL,
    quantity    INT          NOT NULL,
    PRIMARY KEY (product_id, warehouse)
) ENGINE=InnoDB;

INSERT INTO `stock level` (product_id, warehouse, counted_on, season, quantity)
WITH RECURSIVE seq (n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 60),
houses (h) AS (SELECT 1 UNION ALL SELECT h + 1 FROM houses WHERE h < 3)
SELECT s.n,
       ELT(h.h, 'Hamburg', 'Łódź', 'Málaga'),
       DATE('2024-01-15') + INTERVAL ((s.n * 11 + h.h * 5) % 300) DAY,
       2024 + (s.n + h.h) % 2,
       (s.n * 53 + h.h * 29) % 400 - 20
FROM seq s CROSS JOIN houses h;

-- A log without any key: every row can only be found by all of its values.
CREATE TABLE audit_log (
    logged_at   TIMESTAMP    NOT NULL DEFAULT CURRENT_TIMESTAMP,
    level       ENUM('debug', 'info', 'warning', 'error') NOT NULL,
    source      VARCHAR(40)  NOT NULL,
    message     VARCHAR(255) NOT NULL,
    details     JSON         NULL
) ENGINE=InnoDB;

INSERT INTO audit_log (logged_at, level, source, message, details)
WITH RECURSIVE seq (n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 500)
SELECT TIMESTAMP('2024-03-01 00:00:00') + INTERVAL (n * 613) SECOND,
       ELT(1 + (n * 3) % 10, 'info', 'info', 'info', 'debug', 'info', 'warning', 'info',
           'debug', 'info', 'error'),
       ELT(1 + n % 5, 'checkout', 'warehouse', 'mailer', 'payment', 'search'),
       ELT(1 + (n * 3) % 10, CONCAT('Order ', 10000 + n, ' placed'),
           CONCAT('Order ', 10000 + n, ' paid'), 'Stock count imported',
           CONCAT('Query took ', n % 97, ' ms'), 'Newsletter sent',
           CONCAT('Low stock for product ', 1 + n % 60), 'Session started',
           'Cache warmed', 'Password reset requested',
           CONCAT('Payment declined for order ', 10000 + n)),
       IF(n % 4 = 0, NULL,
          JSON_OBJECT('request', n, 'user', 1 + (n * 97) % 320, 'ok', n % 10 <> 9,
                      'ms', (n * 37) % 500))
FROM seq;

-- One column of every common type, with extreme values, NULLs, non-ASCII text and emoji.
CREATE TABLE all_types (
    id          INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    label       VARCHAR(40)           NOT NULL,
    c_tinyint   TINYINT               NULL,
    c_utinyint  TINYINT UNSIGNED      NULL,
    c_smallint  SMALLINT              NULL,
    c_mediumint MEDIUMINT             NULL,
    c_int       INT                   NULL,
    c_uint      INT UNSIGNED          NULL,
    c_bigint    BIGINT                NULL,
    c_ubigint   BIGINT UNSIGNED       NULL,
    c_decimal   DECIMAL(20,6)         NULL,
    c_float     FLOAT                 NULL,
    c_double    DOUBLE                NULL,
    c_bit       BIT(8)                NULL,
    c_bool      BOOLEAN               NULL,
    c_date      DATE                  NULL,
    c_time      TIME                  NULL,
    c_datetime  DATETIME(3)           NULL,
    c_timestamp TIMESTAMP             NULL DEFAULT NULL,
    c_year      YEAR                  NULL,
    c_char      CHAR(10)              NULL,
    c_varchar   VARCHAR(100)          NULL,
    c_text      TEXT                  NULL,
    c_blob      BLOB                  NULL,
    c_enum      ENUM('small', 'medium', 'large') NULL,
    c_set       SET('red', 'green', 'blue')      NULL,
    c_json      JSON                  NULL
) ENGINE=InnoDB;

INSERT INTO all_types (label, c_tinyint, c_utinyint, c_smallint, c_mediumint, c_int, c_uint,
                       c_bigint, c_ubigint, c_decimal, c_float, c_double, c_bit, c_bool, c_date,
                       c_time, c_datetime, c_timestamp, c_year, c_char, c_varchar, c_text,
                       c_blob, c_enum, c_set, c_json)
VALUES
('ordinary', 42, 200, 1234, 123456, 1234567, 3000000000, 1234567890123, 12345678901234567890,
 1234.567890, 3.14159, 2.718281828459045, b'10100101', TRUE, '2024-02-29', '13:45:07',
 '2024-02-29 13:45:07.123', '2024-02-29 13:45:07', 2024, 'abc', 'plain ASCII text',
 'A longer text that spans\nseveral lines\nof the cell.', x'DEADBEEF00FF', 'medium',
 'red,blue', '{"a": 1, "b": [true, null, "x"]}'),
('minimum', -128, 0, -32768, -8388608, -2147483648, 0, -9223372036854775808, 0,
 -99999999999999.999999, -3.40282e38, -1.7976931348623157e308, b'00000000', FALSE,
 '1000-01-01', '-838:59:59', '1000-01-01 00:00:00.000', '1970-01-01 00:00:01', 1901, '', '',
 '', x'', 'small', '', '{}'),
('maximum', 127, 255, 32767, 8388607, 2147483647, 4294967295, 9223372036854775807,
 18446744073709551615, 99999999999999.999999, 3.40282e38, 1.7976931348623157e308, b'11111111',
 TRUE, '9999-12-31', '838:59:59', '9999-12-31 23:59:59.999', '2038-01-19 03:14:07', 2155,
 'ZZZZZZZZZZ', REPEAT('z', 100), REPEAT('Long text. ', 500), REPEAT(x'FF00', 2000), 'large',
 'red,green,blue', '[1, 2, 3, 4, 5, 6, 7, 8, 9, 10]'),
('all NULL', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
 NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
('accents', 1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5, 0.5, b'1', TRUE, '2000-01-01', '00:00:00',
 '2000-01-01 00:00:00', '2000-01-01 00:00:00', 2000, 'Ærø', 'Crème brûlée, naïve façade, Øresund',
 'Zürich – Kraków – Dvořák – İstanbul – Þórshöfn', CONVERT('Ärger' USING latin1), 'small',
 'green', '{"stadt": "Köln", "país": "España"}'),
('scripts', 2, 2, 2, 2, 2, 2, 2, 2, 0.25, 0.25, 0.25, b'10', TRUE, '2001-02-03', '04:05:06',
 '2001-02-03 04:05:06.789', '2001-02-03 04:05:06', 2001, 'Ωμέγα', 'Ελληνικά, Русский, 日本語, 한국어',
 'עברית and العربية run right to left; हिन्दी, ไทย', x'E697A5E69CAC', 'medium', 'blue',
 '{"日本": "東京", "Россия": "Москва"}'),
('emoji', 3, 3, 3, 3, 3, 3, 3, 3, 0.125, 0.125, 0.125, b'11', FALSE, '2002-03-04', '23:59:59',
 '2002-03-04 23:59:59.999', '2002-03-04 23:59:59', 2002, '😀🚀', 'Emoji: 😀 🚀 👩‍💻 🇵🇹 ❤️',
 'Family: 👨‍👩‍👧‍👦, flags: 🇩🇪🇫🇷🇯🇵, skin tones: 👍🏽', x'F09F9880', 'large', 'red,green',
 '{"mood": "😀", "rocket": "🚀"}'),
('quotes', 4, 4, 4, 4, 4, 4, 4, 4, 0.1, 0.1, 0.1, b'100', NULL, '2003-04-05', '100:00:00',
 '2003-04-05 06:07:08', NULL, 2003, 'it''s', 'Single '' double " back ` slash \\ semi ;',
 'Tab\there, CR\rLF\n, percent %, underscore _, <b>html</b> & amp', x'0D0A09', NULL, NULL,
 '{"quote": "\\"", "backslash": "\\\\"}'),
('decimals', -1, 10, -10, -100, -1000, 10000, -100000, 1000000, -0.000001, 1.0e-10, 1.0e-300,
 b'1000', FALSE, '1999-12-31', '-00:00:01', '1999-12-31 23:59:59.5', '1999-12-31 23:59:59',
 1999, 'x', '0.1 + 0.2', '1/3 = 0.333…', x'00', 'small', 'red', '3.14'),
('spaces', 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, b'101', TRUE, '2010-10-10', '10:10:10',
 '2010-10-10 10:10:10', '2010-10-10 10:10:10', 2010, '  padded', '  leading and trailing  ',
 '   ', x'20', 'medium', 'green,blue', '"just a string"'),
('zero', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, b'0', FALSE, '2020-01-01', '00:00:00',
 '2020-01-01 00:00:00', '2020-01-01 00:00:00', 2020, '0', '0', '0', x'30', 'small', '', 'null'),
('long text', 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, b'110', TRUE, '2025-05-05', '05:05:05',
 '2025-05-05 05:05:05', '2025-05-05 05:05:05', 2025, 'long', REPEAT('ab', 50),
 REPEAT('Lorem ipsum dolor sit amet, consectetur adipiscing elit. ', 200), REPEAT(x'00', 65000),
 'large', 'blue', JSON_ARRAY('x', 1, 2.5, TRUE, NULL));

CREATE VIEW customer_totals AS
SELECT c.id AS customer_id,
       CONCAT(c.first_name, ' ', c.last_name) AS customer,
       c.city,
       COUNT(DISTINCT o.id) AS orders,
       CAST(COALESCE(SUM(i.quantity * i.unit_price * (1 - i.discount)), 0) AS DECIMAL(12,2))
           AS revenue,
       MAX(o.ordered_at) AS last_order
FROM customers c
LEFT JOIN `order` o ON o.customer_id = c.id AND o.status <> 'cancelled'
LEFT JOIN order_items i ON i.order_id = o.id
GROUP BY c.id, c.first_name, c.last_name, c.city;

-- The demo account: everything on the demo database, and just enough in `mysql` for the logon
-- dialog's database list, which opens its connection on that database.
DELETE FROM mysql.global_priv WHERE User = '';
CREATE USER IF NOT EXISTS 'demo'@'localhost' IDENTIFIED BY 'demo';
CREATE USER IF NOT EXISTS 'demo'@'127.0.0.1' IDENTIFIED BY 'demo';
GRANT ALL PRIVILEGES ON norvane_demo.* TO 'demo'@'localhost';
GRANT ALL PRIVILEGES ON norvane_demo.* TO 'demo'@'127.0.0.1';
GRANT SELECT ON mysql.help_topic TO 'demo'@'localhost';
GRANT SELECT ON mysql.help_topic TO 'demo'@'127.0.0.1';
FLUSH PRIVILEGES;
